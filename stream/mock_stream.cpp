#include "stream/mock_stream.h"

#include "gateway/timing.h"
#include "session/session_state.h"
#include "stream/chunk_buffer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <vector>

namespace kx {
namespace {

constexpr double kTwoPi = 6.283185307179586;

struct MockChunkPlan {
    std::int32_t rate_hz = 0;
    std::uint64_t first_sample = 0;
    std::uint64_t sample_count = 0;
    std::vector<int> channels;  // enabled channel numbers, ascending
};

MockChunkPlan TakeNextChunkPlan(SessionState& session) {
    MockChunkPlan plan;
    {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        plan.rate_hz = session.mock_sample_rate_hz;
        plan.first_sample = session.mock_sample_index;
        plan.sample_count = session.mock_chunk_samples;
        session.mock_sample_index = plan.first_sample + plan.sample_count;
    }
    {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        for (const auto& [channel, enabled] : session.mock_channel_enabled) {
            if (enabled) {
                plan.channels.push_back(channel);
            }
        }
    }
    return plan;
}

ChunkEntry BuildMockChunk(SessionState& session, const MockChunkPlan& plan) {
    const std::size_t channel_count = plan.channels.size();
    const std::size_t sample_count = static_cast<std::size_t>(plan.sample_count);
    ChunkEntry entry;
    entry.samples = TakeSampleVector(session, channel_count * sample_count);
    entry.channel_count = channel_count;
    entry.sample_count = sample_count;
    entry.received_at = SystemClockSeconds();
    entry.sample_frequency_hz = plan.rate_hz;
    if (plan.rate_hz >= 1) {
        for (std::size_t c = 0; c < channel_count; ++c) {
            for (std::size_t k = 0; k < sample_count; ++k) {
                entry.samples[k * channel_count + c] =
                    MockSignalValue(plan.first_sample + k, plan.rate_hz, c, plan.channels[c]);
            }
        }
    } else {
        std::fill(entry.samples.begin(), entry.samples.end(), 0.0);
    }
    return entry;
}

// n / r seconds, split into whole seconds and truncated nanoseconds; 100 ms
// when the rate carries no period.
std::chrono::nanoseconds ChunkPeriod(std::int32_t rate_hz, std::uint64_t sample_count) {
    if (rate_hz < 1) {
        return kPollInterval;
    }
    const double seconds = static_cast<double>(sample_count) / static_cast<double>(rate_hz);
    if (!(seconds > 0.0)) {
        return std::chrono::nanoseconds::zero();
    }
    const double whole = std::floor(seconds);
    const auto nanos = static_cast<std::int64_t>((seconds - whole) * 1e9);
    return std::chrono::seconds(static_cast<std::int64_t>(whole)) + std::chrono::nanoseconds(nanos);
}

void WaitForNextChunk(SessionState& session, std::chrono::nanoseconds period) {
    if (period.count() <= 0) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + period;
    std::unique_lock<std::mutex> lock(session.mock_mutex);
    session.mock_wake.wait_until(lock, deadline, [&session] { return session.mock_stop_requested.load(); });
}

}  // namespace

double MockSignalValue(std::uint64_t sample_index, std::int32_t rate_hz, std::size_t position, int channel) {
    const double t = static_cast<double>(sample_index) / static_cast<double>(rate_hz);
    const double angular = static_cast<double>(position + 2) * kTwoPi;
    return std::sin(t * angular + 0.15 * static_cast<double>(channel)) * static_cast<double>(position + 20) +
           5.0 * static_cast<double>(channel);
}

void MockStreamLoop(SessionState& session) noexcept {
    while (!session.mock_stop_requested.load()) {
        std::chrono::nanoseconds period = kPollInterval;
        try {
            MockChunkPlan plan = TakeNextChunkPlan(session);
            period = ChunkPeriod(plan.rate_hz, plan.sample_count);
            PushChunkEntry(session, BuildMockChunk(session, plan));
        } catch (...) {
            // The chunk is lost; the stream goes on with the next one.
        }
        try {
            WaitForNextChunk(session, period);
        } catch (...) {
            return;  // without a working mock_mutex no stop could reach the wait
        }
    }
}

void MockStreamLoop() noexcept {
    MockStreamLoop(*Session());
}

}  // namespace kx
