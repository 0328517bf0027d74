// Load and clear, over and over: 1000 cycles of load, init, connect, start,
// read, stop, close and clear on each backend, with unloads while the stream
// runs mixed in. No thread may be left behind, the exit handler runs exactly
// once per load, a clear while locked is refused and changes nothing, and
// (LeakSanitizer in the sanitizer build, resident memory here) nothing leaks.
// Results are held in locals, not kept for the whole test, so that the
// host's count of live arrays stays flat over the cycles.
#include "gateway_fixture.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

namespace kxtest {
namespace {

using mxhost::Field;
using mxhost::Num;
using mxhost::Str;
using mxhost::Struct;

constexpr int kCycles = 1000;

// The ids of the process's threads.
std::set<int> ThreadIds() {
    std::set<int> ids;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] != '.') {
                ids.insert(std::atoi(entry->d_name));
            }
        }
        closedir(tasks);
    }
    return ids;
}

// Whether every thread now running was running at `before`. A joined thread
// can stay listed for a moment (the kernel wakes the joiner before it removes
// the ended thread), so this waits up to 5 s for such threads to go.
bool NoThreadBeyond(const std::set<int>& before) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        const std::set<int> now = ThreadIds();
        if (std::includes(before.begin(), before.end(), now.begin(), now.end())) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::yield();
    }
}

std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t total = 0;
    std::size_t resident = 0;
    statm >> total >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

class LoadCycles : public GatewayTest {
protected:
    explicit LoadCycles(bool mock = false) : GatewayTest(mock) {}

    void SetUp() override {
        GatewayTest::SetUp();
        kxsim::SetConnectPlan({0, 0, 0, true, -1});
        kxsim::SetManualStream(true);
        // ThreadSanitizer starts a thread of its own with the first thread
        // created; let that happen before counting.
        std::thread([] {}).join();
        threads_ = ThreadIds();
    }

    // One cycle up to a running stream that has delivered data.
    void Stream(const char* device) {
        ASSERT_TRUE(Call("init").ok);
        ASSERT_TRUE(mex().IsLocked());
        const CallResult connect = Call("connect", Struct({{"device_name", Str(device)}}));
        ASSERT_TRUE(B(Ok(connect), "connected"));
        ASSERT_TRUE(Call("start_stream").ok);
    }

    void ExpectData(bool emit) {
        if (emit) {
            ASSERT_TRUE(kxsim::EmitChunks(1));
        }
        const CallResult read = Call("read_chunk", Struct({{"timeout_ms", Num(2000)}}));
        EXPECT_TRUE(B(Field(Ok(read), "meta"), "available"));
    }

    // A clear while locked is refused and leaves the session as it was.
    void ExpectRefusedClear() {
        const int runs = mex().ExitHandlerRuns();
        EXPECT_FALSE(mex().Clear());
        EXPECT_TRUE(mex().Loaded());
        EXPECT_EQ(mex().ExitHandlerRuns(), runs);
        const CallResult status = Call("status");
        EXPECT_TRUE(B(Ok(status), "connected"));
        EXPECT_TRUE(B(Ok(status), "streaming"));
    }

    void ExpectUnloaded(int runs_before) {
        EXPECT_FALSE(mex().Loaded());
        EXPECT_EQ(mex().ExitHandlerRuns(), runs_before + 1) << "one exit handler per load";
        EXPECT_TRUE(NoThreadBeyond(threads_)) << "a thread outlived the file";
    }

    // Runs `cycle` kCycles times; checks resident memory stays flat.
    template <typename Cycle>
    void Repeat(Cycle&& cycle) {
        std::size_t warm = 0;
        for (int i = 0; i < kCycles && !HasFailure(); ++i) {
            cycle(i);
            if (i == kCycles / 10) {
                warm = ResidentBytes();
            }
            kxsim::ClearCalls();
        }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        if (warm != 0) {
            EXPECT_LT(ResidentBytes(), warm + (16u << 20)) << "resident memory grew over the cycles";
        }
#else
        // The sanitizers keep memory of their own (AddressSanitizer's quarantine,
        // ThreadSanitizer's records of ended threads); LeakSanitizer checks leaks.
        (void)warm;
#endif
        EXPECT_EQ(mxhost::LiveArrayCount(), 0u);
        std::printf("load cycles: %d on %s, %zu threads before, %zu after\n", kCycles, mex().Name().c_str(),
                    threads_.size(), ThreadIds().size());
    }

    std::set<int> threads_;
};

class MockLoadCycles : public LoadCycles {
protected:
    MockLoadCycles() : LoadCycles(true) {}
};

TEST_F(LoadCycles, RealBackend_LoadStreamCloseClear) {
    Repeat([this](int i) {
        Stream("SIM SOLA 101");
        if (i % 10 == 0) {
            ExpectRefusedClear();
        }
        ExpectData(true);
        const int runs = mex().ExitHandlerRuns();
        if (i % 7 == 3) {
            // Unloaded in full flow: munlock, then clear, while the stream runs.
            mex().ForceClear();
            ExpectUnloaded(runs);
            EXPECT_EQ(kxsim::LiveManagers(), 0) << "the exit handler frees the manager";
            return;
        }
        const CallResult stop = Call("stop_stream");
        EXPECT_TRUE(B(Ok(stop), "stopped"));
        ASSERT_TRUE(Call("close").ok);
        EXPECT_FALSE(mex().IsLocked());
        EXPECT_TRUE(mex().Clear());
        ExpectUnloaded(runs);
    });
}

TEST_F(MockLoadCycles, MockBackend_LoadStreamCloseClear) {
    Repeat([this](int i) {
        Stream("MOCK SOLA 001");
        if (i % 10 == 0) {
            ExpectRefusedClear();
        }
        ExpectData(false);
        const int runs = mex().ExitHandlerRuns();
        if (i % 7 == 3) {
            // The mock stream thread runs as the file goes: the exit handler
            // stops and joins it first.
            mex().ForceClear();
            ExpectUnloaded(runs);
            return;
        }
        const CallResult stop = Call("stop_stream");
        EXPECT_TRUE(B(Ok(stop), "stopped"));
        ASSERT_TRUE(Call("close").ok);
        // The mock backend keeps its lock after close: clear is refused until munlock.
        EXPECT_FALSE(mex().Clear());
        mex().ForceClear();
        ExpectUnloaded(runs);
    });
}

}  // namespace
}  // namespace kxtest
