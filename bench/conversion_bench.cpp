// The SDK's data callback on float32 chunks, with a reader that drains every
// 16 chunks, against the fastest float-to-double interleave this benchmark
// can write itself into one preallocated buffer; and the page faults that
// the callback and the reader take in steady state.
#include "bench/fixtures.h"
#include "bench/sections.h"

#include "stream/chunk_buffer.h"
#include "stream/stream_control.h"

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace kxbench {
namespace {

constexpr std::size_t kDrainEvery = 16;
constexpr int kFaultRounds = 64;

// The SDK's channel arrays as plain pointers, so no variant pays for the
// benchmark's own containers.
using Interleave = void (*)(const float* const* channels, std::size_t channel_count, std::size_t sample_count,
                            double* out);

// out[s * C + c] = channel c's sample s, one sample after the other.
void InterleaveScalar(const float* const* channels, std::size_t channel_count, std::size_t sample_count, double* out) {
    for (std::size_t s = 0; s < sample_count; ++s) {
        double* column = out + s * channel_count;
        for (std::size_t c = 0; c < channel_count; ++c) {
            column[c] = static_cast<double>(channels[c][s]);
        }
    }
}

inline void StoreWidened(double* column, __m128 row) {
    _mm_storeu_pd(column, _mm_cvtps_pd(row));
    _mm_storeu_pd(column + 2, _mm_cvtps_pd(_mm_movehl_ps(row, row)));
}

// Samples s..s+3 of channels c..c+3: load, transpose, widen, store.
inline void Transpose4x4(const float* const* channels, std::size_t channel_count, std::size_t c, std::size_t s,
                         double* out) {
    __m128 r0 = _mm_loadu_ps(channels[c] + s);
    __m128 r1 = _mm_loadu_ps(channels[c + 1] + s);
    __m128 r2 = _mm_loadu_ps(channels[c + 2] + s);
    __m128 r3 = _mm_loadu_ps(channels[c + 3] + s);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    double* column = out + s * channel_count + c;
    StoreWidened(column, r0);
    StoreWidened(column + channel_count, r1);
    StoreWidened(column + 2 * channel_count, r2);
    StoreWidened(column + 3 * channel_count, r3);
}

// SSE2 4 x 4 blocks, sample blocks outside, channel blocks inside. Needs the
// channel and sample counts to be multiples of 4 (both layouts here are).
void InterleaveSse2SampleBlocks(const float* const* channels, std::size_t channel_count, std::size_t sample_count,
                                double* out) {
    for (std::size_t s = 0; s < sample_count; s += 4) {
        for (std::size_t c = 0; c < channel_count; c += 4) {
            Transpose4x4(channels, channel_count, c, s, out);
        }
    }
}

// SSE2 4 x 4 blocks, channel blocks outside, sample blocks inside.
void InterleaveSse2ChannelBlocks(const float* const* channels, std::size_t channel_count, std::size_t sample_count,
                                 double* out) {
    for (std::size_t c = 0; c < channel_count; c += 4) {
        for (std::size_t s = 0; s < sample_count; s += 4) {
            Transpose4x4(channels, channel_count, c, s, out);
        }
    }
}

// SSE2, eight channels by four samples at a time: each sample's eight
// doubles fill one cache line. Needs channel counts that are multiples of 8.
void InterleaveSse2Wide(const float* const* channels, std::size_t channel_count, std::size_t sample_count,
                        double* out) {
    for (std::size_t s = 0; s < sample_count; s += 4) {
        for (std::size_t c = 0; c < channel_count; c += 8) {
            Transpose4x4(channels, channel_count, c, s, out);
            Transpose4x4(channels, channel_count, c + 4, s, out);
        }
    }
}

struct Variant {
    const char* name;
    Interleave run;
};

const Variant kVariants[] = {
    {"scalar sample-major loop", InterleaveScalar},
    {"SSE2 4 x 4 transpose, sample blocks outside", InterleaveSse2SampleBlocks},
    {"SSE2 4 x 4 transpose, channel blocks outside", InterleaveSse2ChannelBlocks},
    {"SSE2 4 x 4 transposes, 8 channels per sample block", InterleaveSse2Wide},
};

std::vector<const float*> ChannelPointers(const SdkChunk& chunk) {
    std::vector<const float*> channels;
    for (std::size_t c = 0; c < chunk.Channels(); ++c) {
        channels.push_back(chunk.Channel(c));
    }
    return channels;
}

void RequireInterleaved(const SdkChunk& chunk, const double* out, const std::string& what) {
    for (std::size_t s = 0; s < chunk.Samples(); ++s) {
        for (std::size_t c = 0; c < chunk.Channels(); ++c) {
            if (out[s * chunk.Channels() + c] != static_cast<double>(chunk.Channel(c)[s])) {
                throw std::runtime_error(what + " wrote a wrong value");
            }
        }
    }
}

double TrialInterleave(Interleave run, const SdkChunk& chunk, std::vector<double>& target) {
    const std::vector<const float*> channels = ChannelPointers(chunk);
    const auto start = Clock::now();
    for (std::size_t i = 0; i < kDrainEvery; ++i) {
        run(channels.data(), chunk.Channels(), chunk.Samples(), target.data());
        KeepAlive(target.data());
    }
    return SecondsSince(start) / static_cast<double>(kDrainEvery);
}

// What read_chunk does to the buffer between two rounds of callbacks.
void DrainLikeTheReader(kx::SessionState& session, const SdkChunk& chunk) {
    const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 0, true);
    Require(read.chunks.size() == kDrainEvery && read.dropped_chunks == 0, "the reader did not get every chunk");
    RequireInterleaved(chunk, read.chunks.back().samples.data(), "the data callback");
}

double TrialCallbacks(kx::SessionState& session, const SdkChunk& chunk) {
    kxsim::ClearCalls();  // the simulator's call log, not the gateway's memory
    const auto start = Clock::now();
    for (std::size_t i = 0; i < kDrainEvery; ++i) {
        kx::ChunkCallback(chunk.Data(), chunk.Samples(), &session);
    }
    const double seconds = SecondsSince(start);
    DrainLikeTheReader(session, chunk);
    return seconds / static_cast<double>(kDrainEvery);
}

// The simulated SDK's answer to the channel-type query that the callback
// makes for every chunk; it logs every call, which a real SDK need not.
double TrialChannelTypeQuery(kx::SessionState& session) {
    kxsim::ClearCalls();
    kx_eeg_manager* manager = session.manager.load();
    const std::uint8_t* types = nullptr;
    std::size_t count = 0;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < kDrainEvery; ++i) {
        kx_eeg_manager_get_stream_channel_data_types(manager, &types, &count);
        KeepAlive(&types);
    }
    return SecondsSince(start) / static_cast<double>(kDrainEvery);
}

// Faults per chunk over rounds of 16 callbacks and one draining read, after
// the comparison has brought the path to its steady state.
double FaultsPerChunk(kx::SessionState& session, const SdkChunk& chunk) {
    long faults = 0;
    for (int round = 0; round < kFaultRounds; ++round) {
        kxsim::ClearCalls();
        const long before = ThreadPageFaults();
        for (std::size_t i = 0; i < kDrainEvery; ++i) {
            kx::ChunkCallback(chunk.Data(), chunk.Samples(), &session);
        }
        { const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, 0, true); }
        faults += ThreadPageFaults() - before;
    }
    return static_cast<double>(faults) / static_cast<double>(kFaultRounds * kDrainEvery);
}

// The fastest variant's median seconds per chunk.
const Variant& BestInterleave(const SdkChunk& chunk, std::vector<double>& target) {
    const Variant* best = nullptr;
    double best_seconds = std::numeric_limits<double>::infinity();
    const std::vector<const float*> channels = ChannelPointers(chunk);
    for (const Variant& variant : kVariants) {
        variant.run(channels.data(), chunk.Channels(), chunk.Samples(), target.data());
        RequireInterleaved(chunk, target.data(), variant.name);
        std::vector<double> times;
        for (int i = 0; i < 31; ++i) {
            times.push_back(TrialInterleave(variant.run, chunk, target));
        }
        const double seconds = Median(times);
        if (Verbose()) {
            std::fprintf(stderr, "  %s: %.0f ns\n", variant.name, seconds * 1e9);
        }
        if (seconds < best_seconds) {
            best_seconds = seconds;
            best = &variant;
        }
    }
    return *best;
}

void CompareCallback(Report& report, std::size_t channels, std::size_t samples, int trials) {
    kx::SessionState session;
    CallbackManager manager(session, channels);
    const SdkChunk chunk(channels, samples);
    std::vector<double> target(chunk.Values());
    const Variant& best = BestInterleave(chunk, target);
    const Comparison result = Compare(
        trials, [&] { return TrialCallbacks(session, chunk); },
        [&] { return TrialInterleave(best.run, chunk, target); });
    std::vector<double> query_times;
    for (int i = 0; i < 31; ++i) {
        query_times.push_back(TrialChannelTypeQuery(session));
    }
    const double query = Median(query_times);
    const std::string layout = Layout(channels, samples);
    report.AtMost("data callback " + layout + " float32, drained every 16, vs the best own interleave", result.Ratio(),
                  1.5);
    report.Note("baseline: " + std::string(best.name) + " into one preallocated buffer, " +
                Format(result.baseline * 1e9, 0) + " ns per chunk; callback " + Format(result.subject * 1e9, 0) +
                " ns, of which " + Format(query * 1e9, 0) +
                " ns are the simulated SDK's channel-type query (it logs each call); without it " +
                FormatRatio((result.subject - query) / result.baseline));
    report.AtMost("page faults per " + layout + " chunk in steady state (callback and draining read)",
                  FaultsPerChunk(session, chunk), 0);
    kx::ClearChunkBuffer(session, true);
}

}  // namespace

void BenchChunkConversion(Report& report) {
    CompareCallback(report, 32, 160, 201);
    CompareCallback(report, 64, 512, 101);
}

}  // namespace kxbench
