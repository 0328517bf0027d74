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
#include <limits>
#include <string>
#include <vector>

namespace kxbench {
namespace {

constexpr std::size_t kDrainEvery = 16;
constexpr int kFaultRounds = 64;

using Interleave = void (*)(const SdkChunk&, double*);

// out[s * C + c] = channel c's sample s, one sample after the other.
void InterleaveScalar(const SdkChunk& chunk, double* out) {
    const std::size_t channels = chunk.Channels();
    for (std::size_t s = 0; s < chunk.Samples(); ++s) {
        for (std::size_t c = 0; c < channels; ++c) {
            out[s * channels + c] = static_cast<double>(chunk.Channel(c)[s]);
        }
    }
}

// Four samples of four channels at a time: load, transpose, widen, store.
inline void Transpose4x4(const float* c0, const float* c1, const float* c2, const float* c3, std::size_t s,
                         std::size_t channels, double* out) {
    __m128 r0 = _mm_loadu_ps(c0 + s);
    __m128 r1 = _mm_loadu_ps(c1 + s);
    __m128 r2 = _mm_loadu_ps(c2 + s);
    __m128 r3 = _mm_loadu_ps(c3 + s);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    const __m128 rows[4] = {r0, r1, r2, r3};
    for (int k = 0; k < 4; ++k) {
        _mm_storeu_pd(out, _mm_cvtps_pd(rows[k]));
        _mm_storeu_pd(out + 2, _mm_cvtps_pd(_mm_movehl_ps(rows[k], rows[k])));
        out += channels;
    }
}

// SSE2 4 x 4 blocks, sample blocks outside, channel blocks inside. Needs the
// channel and sample counts to be multiples of 4 (both layouts here are).
void InterleaveSse2SampleBlocks(const SdkChunk& chunk, double* out) {
    const std::size_t channels = chunk.Channels();
    for (std::size_t s = 0; s < chunk.Samples(); s += 4) {
        for (std::size_t c = 0; c < channels; c += 4) {
            Transpose4x4(chunk.Channel(c), chunk.Channel(c + 1), chunk.Channel(c + 2), chunk.Channel(c + 3), s,
                         channels, out + s * channels + c);
        }
    }
}

// SSE2 4 x 4 blocks, channel blocks outside, sample blocks inside.
void InterleaveSse2ChannelBlocks(const SdkChunk& chunk, double* out) {
    const std::size_t channels = chunk.Channels();
    for (std::size_t c = 0; c < channels; c += 4) {
        for (std::size_t s = 0; s < chunk.Samples(); s += 4) {
            Transpose4x4(chunk.Channel(c), chunk.Channel(c + 1), chunk.Channel(c + 2), chunk.Channel(c + 3), s,
                         channels, out + s * channels + c);
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
};

void RequireInterleaved(const SdkChunk& chunk, const double* out, const std::string& what) {
    for (std::size_t s = 0; s < chunk.Samples(); ++s) {
        for (std::size_t c = 0; c < chunk.Channels(); ++c) {
            Require(out[s * chunk.Channels() + c] == static_cast<double>(chunk.Channel(c)[s]),
                    what + " wrote a wrong value");
        }
    }
}

double TrialInterleave(Interleave run, const SdkChunk& chunk, std::vector<double>& target) {
    const auto start = Clock::now();
    for (std::size_t i = 0; i < kDrainEvery; ++i) {
        run(chunk, target.data());
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
    for (const Variant& variant : kVariants) {
        variant.run(chunk, target.data());
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
    const std::string layout = Layout(channels, samples);
    report.AtMost("data callback " + layout + " float32, drained every 16, vs the best own interleave",
                  result.Ratio(), 1.5);
    report.Note("baseline: " + std::string(best.name) + " into one preallocated buffer, " +
                Format(result.baseline * 1e9, 0) + " ns per chunk; callback " + Format(result.subject * 1e9, 0) +
                " ns");
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
