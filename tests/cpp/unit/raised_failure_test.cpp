// The storage that carries a failure's identifier and message to MATLAB,
// with the allocator made to fail on demand.
#include "gateway/failure.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace {
std::atomic<bool> g_allocations_fail{false};

void* Allocate(std::size_t size) {
    if (g_allocations_fail.load()) {
        throw std::bad_alloc();
    }
    void* memory = std::malloc(size != 0 ? size : 1);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

// While alive, every operator new of this process throws std::bad_alloc.
class OutOfMemory {
public:
    OutOfMemory() { g_allocations_fail.store(true); }
    ~OutOfMemory() { g_allocations_fail.store(false); }
    OutOfMemory(const OutOfMemory&) = delete;
    OutOfMemory& operator=(const OutOfMemory&) = delete;
};
}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace kx {
namespace {

TEST(Utf8PrefixLength, CutsOnlyBetweenCharacters) {
    const std::string text =
        "ab\xC3\xA9"        // 2-byte character at 2..3
        "\xE2\x82\xAC"      // 3-byte at 4..6
        "\xF0\x9F\x98\x80"  // 4-byte at 7..10
        "z";                // 11
    const std::size_t expected[] = {0, 1, 2, 2, 4, 4, 4, 7, 7, 7, 7, 11, 12, 12};
    for (std::size_t limit = 0; limit < std::size(expected); ++limit) {
        EXPECT_EQ(Utf8PrefixLength(text.data(), text.size(), limit), expected[limit]) << "limit " << limit;
    }
}

TEST(Utf8PrefixLength, ARunOfStrayContinuationBytesIsCutAtTheLimit) {
    const std::string text = "a\x80\x80\x80\x80\x80\x80";
    EXPECT_EQ(Utf8PrefixLength(text.data(), text.size(), 5), 5u);
}

TEST(RaisedFailure, KeepsLongMessagesWholeAndCarriesNothingOver) {
    RaisedFailure failure;
    const std::string long_text(100000, 'm');
    failure.Store("kestrix:mex:unsupportedCommand", long_text.c_str());
    EXPECT_EQ(failure.message(), long_text);
    failure.Store("kestrix:mex:invalidArgument", "short");
    EXPECT_STREQ(failure.message(), "short");
    EXPECT_STREQ(failure.identifier(), "kestrix:mex:invalidArgument");
}

TEST(RaisedFailure, ReusesItsStorageWithoutAllocating) {
    RaisedFailure failure;
    const std::string first(20000, 'a');
    const std::string second(15000, 'b');
    failure.Store("kestrix:sdk:nativeException", first.c_str());
    {
        OutOfMemory out_of_memory;
        failure.Store("kestrix:sdk:nativeException", second.c_str());
    }
    EXPECT_EQ(failure.message(), second);
}

TEST(RaisedFailure, OutOfMemory_CutsTheMessageAtACharacterBoundary) {
    RaisedFailure failure;
    const std::string text = std::string(8189, 'a') + "\xE2\x82\xAC" + std::string(5000, 'z');
    {
        OutOfMemory out_of_memory;
        failure.Store("kestrix:mex:runtimeError", text.c_str());
    }
    EXPECT_EQ(failure.message(), std::string(8189, 'a'));
    EXPECT_STREQ(failure.identifier(), "kestrix:mex:runtimeError");

    // Once memory is back, the next message is whole again.
    failure.Store("kestrix:mex:runtimeError", text.c_str());
    EXPECT_EQ(failure.message(), text);
}

TEST(RaisedFailure, ReleasingLargeStorageKeepsSmallMessagesAllocationFree) {
    RaisedFailure failure;
    failure.Store("kestrix:mex:runtimeError", std::string(1 << 20, 'x').c_str());
    failure.ReleaseLargeStorage();
    failure.Store("kestrix:mex:runtimeError", std::string(1000, 'y').c_str());
    failure.ReleaseLargeStorage();
    {
        OutOfMemory out_of_memory;
        failure.Store("kestrix:mex:runtimeError", "kept within the storage left");
    }
    EXPECT_STREQ(failure.message(), "kept within the storage left");
}

}  // namespace
}  // namespace kx
