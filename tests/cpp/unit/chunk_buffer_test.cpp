// The chunk buffer on a local session record: capacity and drop counting,
// draining and non-draining reads, timeouts, concurrent producers, and the
// pool that recycles the chunks' sample vectors.
#include "stream/chunk_buffer.h"
#include "session/session_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A chunk whose first sample is its tag, so tests can tell chunks apart.
kx::ChunkEntry Tagged(double tag, std::size_t channels = 1, std::size_t samples = 1) {
    kx::ChunkEntry entry;
    entry.samples.assign(channels * samples, 0.0);
    if (!entry.samples.empty()) {
        entry.samples[0] = tag;
    }
    entry.channel_count = channels;
    entry.sample_count = samples;
    return entry;
}

std::vector<double> Tags(const kx::ChunkReadResult& read) {
    std::vector<double> tags;
    for (const kx::ChunkEntry& chunk : read.chunks) {
        tags.push_back(chunk.samples.at(0));
    }
    return tags;
}

std::vector<double> Range(int first, int last) {
    std::vector<double> values;
    for (int k = first; k <= last; ++k) {
        values.push_back(k);
    }
    return values;
}

TEST(ChunkBuffer, CapacityExceeded_DropsOldestAndReportsCountOnce) {
    kx::SessionState session;
    for (int k = 1; k <= 300; ++k) {
        kx::PushChunkEntry(session, Tagged(k));
    }
    const kx::ChunkReadResult first = kx::ReadChunkBuffer(session, 0, true);
    EXPECT_TRUE(first.available);
    EXPECT_EQ(first.dropped_chunks, 44u);
    EXPECT_EQ(Tags(first), Range(45, 300));

    const kx::ChunkReadResult second = kx::ReadChunkBuffer(session, 0, true);
    EXPECT_FALSE(second.available);
    EXPECT_TRUE(second.chunks.empty());
    EXPECT_EQ(second.dropped_chunks, 0u);
}

TEST(ChunkBuffer, CapacityOne_EachPushReplacesThePreviousAndCountsIt) {
    kx::SessionState session;
    session.max_buffer_chunks = 1;
    kx::PushChunkEntry(session, Tagged(1));
    EXPECT_EQ(kx::ReadChunkBuffer(session, 0, false).dropped_chunks, 0u);
    for (int k = 2; k <= 5; ++k) {
        kx::PushChunkEntry(session, Tagged(k));
    }
    const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 0, true);
    EXPECT_EQ(Tags(read), std::vector<double>{5});
    EXPECT_EQ(read.dropped_chunks, 4u);
}

TEST(ChunkBuffer, NonDrainingReads_ReturnNewestTwiceAndLeaveBufferIntact) {
    kx::SessionState session;
    session.max_buffer_chunks = 2;
    for (int k = 1; k <= 3; ++k) {
        kx::PushChunkEntry(session, Tagged(k));
    }
    const kx::ChunkReadResult first = kx::ReadChunkBuffer(session, 0, false);
    EXPECT_EQ(Tags(first), std::vector<double>{3});
    EXPECT_EQ(first.dropped_chunks, 1u);
    const kx::ChunkReadResult second = kx::ReadChunkBuffer(session, 0, false);
    EXPECT_EQ(Tags(second), std::vector<double>{3});
    EXPECT_EQ(second.dropped_chunks, 0u);
    EXPECT_EQ(Tags(kx::ReadChunkBuffer(session, 0, true)), (std::vector<double>{2, 3}));
}

TEST(ChunkBuffer, Clear_ReturnsCountAndKeepsDroppedOnlyWhenAsked) {
    kx::SessionState session;
    session.max_buffer_chunks = 3;
    for (int k = 1; k <= 5; ++k) {
        kx::PushChunkEntry(session, Tagged(k));
    }
    EXPECT_EQ(kx::ClearChunkBuffer(session, false), 3u);
    EXPECT_EQ(kx::ReadChunkBuffer(session, 0, true).dropped_chunks, 2u);

    for (int k = 1; k <= 5; ++k) {
        kx::PushChunkEntry(session, Tagged(k));
    }
    EXPECT_EQ(kx::ClearChunkBuffer(session, true), 3u);
    const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 0, true);
    EXPECT_FALSE(read.available);
    EXPECT_EQ(read.dropped_chunks, 0u);
}

// A read that met a change of channel count used to fail after taking the
// chunks out of the buffer, losing them and the dropped count.
TEST(ChunkBuffer, ChannelCountChange_DrainingReadsReturnOneLayoutEachAndLoseNothing) {
    kx::SessionState session;
    session.max_buffer_chunks = 5;
    const std::size_t layouts[] = {2, 2, 2, 3, 3, 2};
    for (std::size_t k = 0; k < 6; ++k) {
        kx::PushChunkEntry(session, Tagged(static_cast<double>(k + 1), layouts[k], 4));
    }
    const kx::ChunkReadResult first = kx::ReadChunkBuffer(session, 0, true);
    EXPECT_EQ(Tags(first), (std::vector<double>{2, 3}));
    EXPECT_EQ(first.dropped_chunks, 1u);
    const kx::ChunkReadResult second = kx::ReadChunkBuffer(session, 0, true);
    EXPECT_EQ(Tags(second), (std::vector<double>{4, 5}));
    EXPECT_EQ(second.chunks.front().channel_count, 3u);
    EXPECT_EQ(second.dropped_chunks, 0u);
    EXPECT_EQ(Tags(kx::ReadChunkBuffer(session, 0, true)), std::vector<double>{6});
    EXPECT_FALSE(kx::ReadChunkBuffer(session, 0, true).available);
}

TEST(ChunkBuffer, ZeroOrNegativeTimeoutOnEmptyBuffer_ReturnsAtOnceWithDroppedCount) {
    kx::SessionState session;
    session.dropped_chunks = 7;
    const auto start = Clock::now();
    const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 0, true);
    EXPECT_FALSE(kx::ReadChunkBuffer(session, -5, true).available);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_FALSE(read.available);
    EXPECT_EQ(read.dropped_chunks, 7u);
    EXPECT_EQ(session.dropped_chunks, 0u);
}

TEST(ChunkBuffer, PositiveTimeoutWithoutData_ReturnsEmptyAfterTheTimeout) {
    kx::SessionState session;
    const auto start = Clock::now();
    const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 150, true);
    const auto elapsed = Clock::now() - start;
    EXPECT_FALSE(read.available);
    EXPECT_GE(elapsed, std::chrono::milliseconds(150));
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(ChunkBuffer, PositiveTimeout_WakesAsSoonAsAChunkIsPushed) {
    kx::SessionState session;
    std::atomic<bool> reading{false};
    std::thread producer([&] {
        while (!reading.load()) {
            std::this_thread::yield();
        }
        // The reader holds the mutex until it waits, so this lock mostly
        // lands while it is waiting.
        { std::lock_guard<std::mutex> lock(session.mutex); }
        kx::PushChunkEntry(session, Tagged(1));
    });
    const auto start = Clock::now();
    reading.store(true);
    const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 20000, true);
    const auto elapsed = Clock::now() - start;
    producer.join();
    EXPECT_TRUE(read.available);
    EXPECT_EQ(Tags(read), std::vector<double>{1});
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(ChunkBuffer, ConcurrentProducersAndReader_EveryChunkReturnedOrDroppedInOrder) {
    kx::SessionState session;
    session.max_buffer_chunks = 16;
    constexpr int kProducers = 3;
    constexpr int kChunksEach = 2000;
    std::atomic<int> finished{0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&session, &finished, p] {
            for (int k = 0; k < kChunksEach; ++k) {
                kx::PushChunkEntry(session, Tagged(p * 1e6 + k));
            }
            finished.fetch_add(1);
        });
    }
    std::size_t returned = 0;
    std::size_t dropped = 0;
    std::map<int, double> last_seen;
    bool in_order = true;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    for (;;) {
        const bool all_done = finished.load() == kProducers;
        const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 5, true);
        dropped += read.dropped_chunks;
        returned += read.chunks.size();
        for (double tag : Tags(read)) {
            const int producer = static_cast<int>(tag / 1e6);
            if (last_seen.count(producer) != 0 && last_seen[producer] >= tag) {
                in_order = false;
            }
            last_seen[producer] = tag;
        }
        if ((all_done && !read.available) || Clock::now() > deadline) {
            break;
        }
    }
    for (std::thread& producer : producers) {
        producer.join();
    }
    EXPECT_TRUE(in_order);
    EXPECT_EQ(returned + dropped, static_cast<std::size_t>(kProducers * kChunksEach));
}

// The ring grows while its oldest chunk sits in the middle of the slots.
TEST(ChunkQueue, GrowingWhileWrappedAround_KeepsArrivalOrder) {
    kx::ChunkQueue queue;
    int next = 1;
    for (; next <= 6; ++next) {
        queue.push_back(Tagged(next));
    }
    for (int k = 0; k < 4; ++k) {
        queue.pop_front();
    }
    for (; next <= 20; ++next) {
        queue.push_back(Tagged(next));
    }
    ASSERT_EQ(queue.size(), 16u);
    for (std::size_t i = 0; i < queue.size(); ++i) {
        EXPECT_EQ(queue[i].samples.at(0), static_cast<double>(i + 5));
    }
    EXPECT_EQ(queue.back().samples.at(0), 20.0);
}

// ---- the pool of sample vectors ------------------------------------------------

// A chunk of `size` values, all `value`, whose storage comes from the pool.
kx::ChunkEntry Pooled(kx::SessionState& session, double value, std::size_t size = 64) {
    kx::ChunkEntry entry;
    entry.samples = kx::TakeSampleVector(session, size);
    std::fill(entry.samples.begin(), entry.samples.end(), value);
    entry.channel_count = 1;
    entry.sample_count = size;
    return entry;
}

std::size_t PoolAndBuffer(kx::SessionState& session) {
    std::lock_guard<std::mutex> lock(session.mutex);
    return session.spare_samples.size() + session.chunk_buffer.size();
}

TEST(ChunkPool, ReadAndDroppedChunks_GiveTheirStorageToTheNextChunksAndAClearFreesIt) {
    kx::SessionState session;
    session.max_buffer_chunks = 4;
    std::set<const double*> storage;
    for (int k = 1; k <= 6; ++k) {  // two dropped at the capacity
        kx::ChunkEntry entry = Pooled(session, k);
        storage.insert(entry.samples.data());
        kx::PushChunkEntry(session, std::move(entry));
    }
    { const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 0, true); }
    for (int k = 1; k <= 6; ++k) {
        kx::ChunkEntry entry = Pooled(session, k);
        EXPECT_EQ(storage.count(entry.samples.data()), 1u) << "chunk " << k << " got fresh storage";
        kx::PushChunkEntry(session, std::move(entry));
    }
    { const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 0, true); }
    EXPECT_GT(PoolAndBuffer(session), 0u);
    kx::PushChunkEntry(session, Pooled(session, 0));
    EXPECT_EQ(kx::ClearChunkBuffer(session, false), 1u);
    EXPECT_EQ(PoolAndBuffer(session), 0u);  // a stopped stream holds no sample memory
}

TEST(ChunkPool, SparesAndBufferedTogether_StayWithinTheCapacityPlusTheSlack) {
    kx::SessionState session;
    session.max_buffer_chunks = 3;
    const std::size_t bound = 3 + kx::kSpareSampleVectors;
    // More chunks in flight than the bound allows, as when a producer keeps
    // pushing while a long read holds its chunks.
    std::vector<kx::ChunkEntry> in_flight;
    for (int k = 0; k < 12; ++k) {
        in_flight.push_back(Pooled(session, k));
    }
    for (kx::ChunkEntry& entry : in_flight) {
        kx::PushChunkEntry(session, std::move(entry));
        EXPECT_LE(PoolAndBuffer(session), bound);
    }
    std::vector<kx::ChunkReadResult> reads;
    reads.push_back(kx::ReadChunkBuffer(session, 0, true));
    for (int k = 0; k < 3; ++k) {
        kx::PushChunkEntry(session, kx::ChunkEntry());
    }
    reads.push_back(kx::ReadChunkBuffer(session, 0, true));
    reads.clear();
    EXPECT_LE(PoolAndBuffer(session), bound);
}

TEST(ChunkPool, TakeSampleVector_GivesTheSizeAskedAndSkipsSparesFarTooLarge) {
    kx::SessionState session;
    kx::PushChunkEntry(session, Pooled(session, 1.0, 1000));
    { const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 0, true); }
    const std::vector<double> small = kx::TakeSampleVector(session, 10);
    EXPECT_EQ(small.size(), 10u);
    EXPECT_LE(small.capacity(), 21u);  // the 1000-value spare was freed, not handed out

    kx::PushChunkEntry(session, Pooled(session, 1.0, 10));
    { const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 0, true); }
    const std::vector<double> larger = kx::TakeSampleVector(session, 15);
    EXPECT_EQ(larger.size(), 15u);
    EXPECT_TRUE(kx::TakeSampleVector(session, 0).empty());
}

// A non-draining read hands out a copy: the queued original may be dropped
// and its storage refilled by the next chunks while MATLAB copies it.
TEST(ChunkPool, NonDrainingRead_KeepsItsValuesWhenTheNewestChunkIsRecycled) {
    kx::SessionState session;
    session.max_buffer_chunks = 1;
    kx::PushChunkEntry(session, Pooled(session, 5.0));
    const kx::ChunkReadResult peek = kx::ReadChunkBuffer(session, 0, false);
    for (int k = 0; k < 4; ++k) {
        kx::PushChunkEntry(session, Pooled(session, -1.0));
    }
    ASSERT_EQ(peek.chunks.size(), 1u);
    EXPECT_EQ(peek.chunks[0].samples, std::vector<double>(64, 5.0));
}

TEST(ChunkPool, MovedReadResult_HandsItsVectorsBackOnce) {
    kx::SessionState session;
    for (int k = 0; k < 3; ++k) {
        kx::PushChunkEntry(session, Pooled(session, k));
    }
    {
        kx::ChunkReadResult first = kx::ReadChunkBuffer(session, 0, true);
        kx::ChunkReadResult moved(std::move(first));
        kx::ChunkReadResult assigned;
        assigned = std::move(moved);
        EXPECT_EQ(assigned.chunks.size(), 3u);
    }
    EXPECT_EQ(PoolAndBuffer(session), 3u);
}

TEST(ChunkPool, ConcurrentProducersAndReader_EveryChunkReadIntactWhileStorageIsRecycled) {
    kx::SessionState session;
    session.max_buffer_chunks = 8;
    constexpr int kProducers = 2;
    constexpr int kChunksEach = 3000;
    std::atomic<int> finished{0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&session, &finished, p] {
            for (int k = 0; k < kChunksEach; ++k) {
                // Sizes vary, so spares of other sizes are handed out too.
                const std::size_t size = 32 + static_cast<std::size_t>(k % 5) * 16;
                kx::PushChunkEntry(session, Pooled(session, p * 1e6 + k, size));
            }
            finished.fetch_add(1);
        });
    }
    std::size_t chunks_read = 0;
    std::size_t torn = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    for (int round = 0;; ++round) {
        const bool all_done = finished.load() == kProducers;
        // Every third read peeks, the others drain.
        const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 5, round % 3 != 0);
        for (const kx::ChunkEntry& chunk : read.chunks) {
            ++chunks_read;
            const bool uniform = std::all_of(chunk.samples.begin(), chunk.samples.end(),
                                             [&chunk](double value) { return value == chunk.samples.front(); });
            if (chunk.samples.size() != chunk.sample_count || !uniform) {
                ++torn;
            }
        }
        if ((all_done && !read.available) || Clock::now() > deadline) {
            break;
        }
    }
    for (std::thread& producer : producers) {
        producer.join();
    }
    EXPECT_GT(chunks_read, 0u);
    EXPECT_EQ(torn, 0u);
    EXPECT_LE(PoolAndBuffer(session), 8 + kx::kSpareSampleVectors);
}

}  // namespace
