// MockStreamLoop on a local session record: the signal, its continuity, and
// how promptly a stop ends the wait between chunks.
#include "stream/mock_stream.h"
#include "session/session_state.h"
#include "stream/chunk_buffer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ExpectedSignal(double i, double r, double c, double ch) {
    return std::sin((i / r) * ((c + 2) * 6.283185307179586) + 0.15 * ch) * (c + 20) + 5 * ch;
}

class MockStreamLoopTest : public ::testing::Test {
protected:
    void Start() {
        session_.mock_thread = std::thread([this] { kx::MockStreamLoop(session_); });
    }

    // Waits for chunks until `count` have come, or 10 s have passed.
    std::vector<kx::ChunkEntry> Collect(std::size_t count) {
        std::vector<kx::ChunkEntry> chunks;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (chunks.size() < count && Clock::now() < deadline) {
            kx::ChunkReadResult read = kx::ReadChunkBuffer(session_, 1000, true);
            for (kx::ChunkEntry& chunk : read.chunks) {
                chunks.push_back(std::move(chunk));
            }
        }
        return chunks;
    }

    void TearDown() override { kx::StopMockStreamThread(session_); }

    kx::SessionState session_;
};

TEST_F(MockStreamLoopTest, EnabledChannels_CarryTheFormulaExactlyAndContinuously) {
    session_.mock_channel_enabled = {{7, true}, {3, true}, {5, false}};
    Start();
    const std::vector<kx::ChunkEntry> chunks = Collect(4);
    kx::StopMockStreamThread(session_);
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].samples[0], std::sin(0.15 * 3) * 20 + 15);
    EXPECT_EQ(chunks[0].samples[1], std::sin(0.15 * 7) * 21 + 35);
    for (std::size_t k = 0; k < chunks.size(); ++k) {
        const kx::ChunkEntry& chunk = chunks[k];
        ASSERT_EQ(chunk.channel_count, 2u);
        ASSERT_EQ(chunk.sample_count, 25u);
        EXPECT_EQ(chunk.sample_frequency_hz, 250);
        for (std::size_t s = 0; s < 25; ++s) {
            const double i = static_cast<double>(k * 25 + s);
            EXPECT_EQ(chunk.samples[s * 2 + 0], ExpectedSignal(i, 250, 0, 3)) << "chunk " << k << " sample " << s;
            EXPECT_EQ(chunk.samples[s * 2 + 1], ExpectedSignal(i, 250, 1, 7)) << "chunk " << k << " sample " << s;
        }
    }
}

TEST_F(MockStreamLoopTest, NoChannelEnabled_PushesEmptyChunksAndAdvancesTheIndex) {
    Start();
    const std::vector<kx::ChunkEntry> chunks = Collect(2);
    kx::StopMockStreamThread(session_);
    ASSERT_GE(chunks.size(), 2u);
    EXPECT_EQ(chunks[1].channel_count, 0u);
    EXPECT_EQ(chunks[1].sample_count, 25u);
    EXPECT_TRUE(chunks[1].samples.empty());
    const std::size_t produced = chunks.size() + kx::ClearChunkBuffer(session_, true);
    std::lock_guard<std::mutex> lock(session_.mock_mutex);
    EXPECT_EQ(session_.mock_sample_index, 25u * produced);
}

// At 1 Hz a chunk period is 25 s, and the stop used to wait it out.
TEST_F(MockStreamLoopTest, StopDuringALongChunkPeriod_ReturnsPromptly) {
    session_.mock_sample_rate_hz = 1;
    session_.mock_channel_enabled = {{0, true}};
    Start();
    ASSERT_EQ(Collect(1).size(), 1u);
    const auto start = Clock::now();
    kx::StopMockStreamThread(session_);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(session_.mock_thread.joinable());
}

TEST_F(MockStreamLoopTest, RateBelowOne_ChunksStayAtZero) {
    session_.mock_sample_rate_hz = 0;
    session_.mock_channel_enabled = {{1, true}};
    Start();
    const std::vector<kx::ChunkEntry> chunks = Collect(2);
    kx::StopMockStreamThread(session_);
    ASSERT_GE(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].samples, std::vector<double>(25, 0.0));
    EXPECT_EQ(chunks[1].sample_frequency_hz, 0);
}

}  // namespace
