// ChunkCallback on a local session record, with a manager of the simulated
// SDK reporting the scripted channel types.
#include "kxsim.h"
#include "session/session_state.h"
#include "stream/chunk_buffer.h"
#include "stream/stream_control.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

class ChunkCallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        kxsim::Reset();
        manager_ = kx_eeg_manager_new();
        ASSERT_NE(manager_, nullptr);
        session_.manager.store(manager_);
        session_.stream_sample_rate_hz.store(500);
    }

    void TearDown() override {
        session_.manager.store(nullptr);
        kx_eeg_manager_free(manager_);
        EXPECT_EQ(kxsim::Violations(), std::vector<std::string>{});
        kxsim::Reset();
    }

    kx::ChunkReadResult Drain() { return kx::ReadChunkBuffer(session_, 0, true); }

    kx::SessionState session_;
    kx_eeg_manager* manager_ = nullptr;
};

TEST_F(ChunkCallbackTest, EveryDataType_ConvertedIntoSampleMajorDoubles) {
    kxsim::SetChannelTypes({KX_DATA_TYPE_FLOAT32, KX_DATA_TYPE_UINT8, KX_DATA_TYPE_UINT64, KX_DATA_TYPE_FLOAT64});
    const float f32[] = {1.5f, -2.25f, 3.0e-8f};
    const std::uint8_t u8[] = {0, 255, 7};
    const std::uint64_t u64[] = {std::uint64_t{1} << 63, std::numeric_limits<std::uint64_t>::max(), 5};
    const double f64[] = {1e300, -0.5, 3.14};
    const void* const data[] = {f32, u8, u64, f64};

    const double before = kx::SystemClockSeconds();
    kx::ChunkCallback(data, 3, &session_);
    const double after = kx::SystemClockSeconds();

    const kx::ChunkReadResult read = Drain();
    ASSERT_EQ(read.chunks.size(), 1u);
    const kx::ChunkEntry& chunk = read.chunks[0];
    EXPECT_EQ(chunk.channel_count, 4u);
    EXPECT_EQ(chunk.sample_count, 3u);
    EXPECT_EQ(chunk.sample_frequency_hz, 500);
    EXPECT_GE(chunk.received_at, before);
    EXPECT_LE(chunk.received_at, after);
    const std::vector<double> expected = {
        1.5,
        0,
        9223372036854775808.0,
        1e300,
        -2.25,
        255,
        18446744073709551616.0,
        -0.5,
        static_cast<double>(3.0e-8f),
        7,
        5,
        3.14,
    };
    EXPECT_EQ(chunk.samples, expected);
    EXPECT_GT(chunk.samples[2], 0.0);
}

TEST_F(ChunkCallbackTest, NullChannelOrUnknownCode_LeavesThatRowAtZero) {
    kxsim::SetChannelTypes({KX_DATA_TYPE_FLOAT64, 4, KX_DATA_TYPE_FLOAT64, 255});
    const double values[] = {1, 2};
    const void* const data[] = {values, values, nullptr, values};
    kx::ChunkCallback(data, 2, &session_);
    const kx::ChunkReadResult read = Drain();
    ASSERT_EQ(read.chunks.size(), 1u);
    EXPECT_EQ(read.chunks[0].samples, (std::vector<double>{1, 0, 0, 0, 2, 0, 0, 0}));

    kx::ChunkCallback(nullptr, 2, &session_);
    const kx::ChunkReadResult null_array = Drain();
    ASSERT_EQ(null_array.chunks.size(), 1u);
    EXPECT_EQ(null_array.chunks[0].samples, std::vector<double>(8, 0.0));
}

// Storage comes back from the pool holding the previous chunk's values.
TEST_F(ChunkCallbackTest, RecycledStorage_RowsWithoutDataStillReadZero) {
    kxsim::SetChannelTypes({KX_DATA_TYPE_FLOAT64, KX_DATA_TYPE_FLOAT64, KX_DATA_TYPE_FLOAT64});
    const double values[] = {7, 8};
    const void* const full[] = {values, values, values};
    kx::ChunkCallback(full, 2, &session_);
    EXPECT_EQ(Drain().chunks.at(0).samples, (std::vector<double>{7, 7, 7, 8, 8, 8}));

    kxsim::SetChannelTypes({KX_DATA_TYPE_FLOAT64, 9, KX_DATA_TYPE_FLOAT64});
    const void* const partial[] = {values, values, nullptr};
    kx::ChunkCallback(partial, 2, &session_);
    EXPECT_EQ(Drain().chunks.at(0).samples, (std::vector<double>{7, 0, 0, 8, 0, 0}));
}

// Blocks of four channels and four samples, and the channels and samples
// left over at the edges, each land in their own place.
TEST_F(ChunkCallbackTest, Float32Chunks_EveryLayoutInterleavedExactly) {
    for (const std::size_t channels : {1u, 3u, 4u, 5u, 8u, 12u, 13u, 64u}) {
        for (const std::size_t samples : {1u, 3u, 4u, 6u, 17u}) {
            kxsim::SetChannelTypes(std::vector<int>(channels, KX_DATA_TYPE_FLOAT32));
            std::vector<std::vector<float>> arrays(channels, std::vector<float>(samples));
            std::vector<const void*> data;
            for (std::size_t c = 0; c < channels; ++c) {
                for (std::size_t s = 0; s < samples; ++s) {
                    arrays[c][s] = static_cast<float>(c) * 1000.0f + static_cast<float>(s) + 0.5f;
                }
                data.push_back(arrays[c].data());
            }
            kx::ChunkCallback(data.data(), samples, &session_);
            const kx::ChunkReadResult read = Drain();
            ASSERT_EQ(read.chunks.size(), 1u);
            std::vector<double> expected;
            for (std::size_t s = 0; s < samples; ++s) {
                for (std::size_t c = 0; c < channels; ++c) {
                    expected.push_back(static_cast<double>(arrays[c][s]));
                }
            }
            EXPECT_EQ(read.chunks[0].samples, expected) << channels << " x " << samples;
        }
    }
}

TEST_F(ChunkCallbackTest, NoSessionOrNoManager_PushesNothing) {
    const double values[] = {1};
    const void* const data[] = {values};
    kx::ChunkCallback(data, 1, nullptr);
    session_.manager.store(nullptr);
    kx::ChunkCallback(data, 1, &session_);
    EXPECT_FALSE(Drain().available);
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_get_stream_channel_data_types"), 0);
}

TEST_F(ChunkCallbackTest, SdkThrowsOrReportsNoTypes_NoExceptionLeavesTheCallback) {
    const float values[] = {1, 2};
    const void* const data[] = {values};
    kxsim::ScriptThrow("kx_eeg_manager_get_stream_channel_data_types", "types unavailable");
    kxsim::ScriptThrowUnknown("kx_eeg_manager_get_stream_channel_data_types");
    kx::ChunkCallback(data, 2, &session_);
    kx::ChunkCallback(data, 2, &session_);
    const kx::ChunkReadResult lost = Drain();
    EXPECT_FALSE(lost.available);
    EXPECT_EQ(lost.dropped_chunks, 0u);

    kxsim::ScriptNull("kx_eeg_manager_get_stream_channel_data_types");
    kx::ChunkCallback(data, 2, &session_);
    const kx::ChunkReadResult empty_layout = Drain();
    ASSERT_EQ(empty_layout.chunks.size(), 1u);
    EXPECT_EQ(empty_layout.chunks[0].channel_count, 0u);
    EXPECT_EQ(empty_layout.chunks[0].sample_count, 2u);
    EXPECT_TRUE(empty_layout.chunks[0].samples.empty());
}

TEST(SampleRateCode, TableCodesGiveHertzAndOthersMinusOne) {
    const std::int32_t expected[] = {16000, 8000, 4000, 2000, 1000, 500, 250};
    for (std::uint8_t code = 0; code < 7; ++code) {
        EXPECT_EQ(kx::SampleRateFromCode(code), expected[code]);
    }
    EXPECT_EQ(kx::SampleRateFromCode(7), -1);
    EXPECT_EQ(kx::SampleRateFromCode(255), -1);
}

}  // namespace
