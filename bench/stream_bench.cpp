// The producer side of the gateway below the MEX entry point: the chunk
// buffer, the SDK data callback, the whole path into a MATLAB matrix and the
// memory a full buffer holds.
#include "bench/sections.h"

#include "gateway/commands.h"
#include "harness.h"
#include "interfaces/kxcore.h"
#include "kxsim.h"
#include "session/session_state.h"
#include "stream/chunk_buffer.h"
#include "stream/stream_control.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kxbench {
namespace {

constexpr int kFastestRateHz = 16000;
constexpr int kWaitMs = 5000;  // a stalled hand-off fails the run instead of hanging it

std::string Layout(std::size_t channels, std::size_t samples) {
    return std::to_string(channels) + " x " + std::to_string(samples);
}

void Require(bool condition, const std::string& what) {
    if (!condition) {
        throw std::runtime_error(what);
    }
}

// A manager of the simulated SDK whose stream reports `channels` float32
// channels, attached to `session` for the data callback.
class CallbackManager {
public:
    CallbackManager(kx::SessionState& session, std::size_t channels) : session_(session) {
        kxsim::Reset();
        kxsim::SetChannelTypes(std::vector<int>(channels, KX_DATA_TYPE_FLOAT32));
        manager_ = kx_eeg_manager_new();
        Require(manager_ != nullptr, "kx_eeg_manager_new returned null");
        session_.manager.store(manager_);
        session_.stream_sample_rate_hz.store(kFastestRateHz);
    }
    ~CallbackManager() {
        session_.manager.store(nullptr);
        kx_eeg_manager_free(manager_);
        kxsim::Reset();
    }
    CallbackManager(const CallbackManager&) = delete;
    CallbackManager& operator=(const CallbackManager&) = delete;

private:
    kx::SessionState& session_;
    kx_eeg_manager* manager_ = nullptr;
};

// One chunk as the SDK hands it over: one float32 array per channel.
class SdkChunk {
public:
    SdkChunk(std::size_t channels, std::size_t samples) : values_(channels, std::vector<float>(samples)) {
        for (std::size_t c = 0; c < channels; ++c) {
            for (std::size_t s = 0; s < samples; ++s) {
                values_[c][s] = static_cast<float>(c * 100) + static_cast<float>(s) * 0.25f;
            }
            pointers_.push_back(values_[c].data());
        }
    }
    const void* const* Data() const { return pointers_.data(); }
    std::size_t Channels() const { return values_.size(); }
    std::size_t Samples() const { return values_.front().size(); }
    const std::vector<float>& Channel(std::size_t c) const { return values_[c]; }

private:
    std::vector<std::vector<float>> values_;
    std::vector<const void*> pointers_;
};

// Joins a producer thread on every way out, so a failed check cannot end the
// process through a joinable thread's destructor.
class Joined {
public:
    explicit Joined(std::thread thread) : thread_(std::move(thread)) {}
    ~Joined() { Join(); }
    Joined(const Joined&) = delete;
    Joined& operator=(const Joined&) = delete;
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    std::thread thread_;
};

std::size_t Buffered(kx::SessionState& session) {
    std::lock_guard<std::mutex> lock(session.mutex);
    return session.chunk_buffer.size();
}

// ---- 1. hand-off ------------------------------------------------------------

constexpr std::size_t kHandOffChunks = 4096;
constexpr std::size_t kHandOffChannels = 16;
constexpr std::size_t kHandOffSamples = 32;

std::vector<std::vector<double>> MakeSampleVectors() {
    return std::vector<std::vector<double>>(kHandOffChunks,
                                            std::vector<double>(kHandOffChannels * kHandOffSamples, 1.0));
}

double TrialBufferHandOff() {
    std::vector<kx::ChunkEntry> entries(kHandOffChunks);
    std::vector<std::vector<double>> vectors = MakeSampleVectors();
    for (std::size_t i = 0; i < kHandOffChunks; ++i) {
        entries[i].samples = std::move(vectors[i]);
        entries[i].channel_count = kHandOffChannels;
        entries[i].sample_count = kHandOffSamples;
    }
    kx::SessionState session;
    session.max_buffer_chunks = kHandOffChunks;  // nothing is dropped: every chunk crosses

    const auto start = Clock::now();
    Joined producer(std::thread([&] {
        for (kx::ChunkEntry& entry : entries) {
            kx::PushChunkEntry(session, std::move(entry));
        }
    }));
    std::size_t received = 0;
    while (received < kHandOffChunks) {
        const kx::ChunkReadResult read = kx::ReadChunkBuffer(session, kWaitMs, true);
        if (!read.available) {
            break;
        }
        received += read.chunks.size();
    }
    const double seconds = SecondsSince(start);
    producer.Join();
    Require(received == kHandOffChunks, "chunk buffer hand-off lost chunks");
    return seconds / kHandOffChunks;
}

double TrialBareHandOff() {
    std::vector<std::vector<double>> vectors = MakeSampleVectors();
    std::mutex mutex;
    std::condition_variable available;
    std::deque<std::vector<double>> queue;

    const auto start = Clock::now();
    Joined producer(std::thread([&] {
        for (std::vector<double>& samples : vectors) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                queue.push_back(std::move(samples));
            }
            available.notify_all();
        }
    }));
    std::size_t received = 0;
    while (received < kHandOffChunks) {
        std::deque<std::vector<double>> taken;
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (!available.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return !queue.empty(); })) {
                break;
            }
            taken.swap(queue);
        }
        received += taken.size();
    }
    const double seconds = SecondsSince(start);
    producer.Join();
    Require(received == kHandOffChunks, "bare hand-off lost chunks");
    return seconds / kHandOffChunks;
}

// ---- 2. conversion ----------------------------------------------------------

double TrialCallback(kx::SessionState& session, const SdkChunk& chunk, std::size_t calls) {
    kx::ClearChunkBuffer(session, true);
    kxsim::ClearCalls();
    const auto start = Clock::now();
    for (std::size_t i = 0; i < calls; ++i) {
        kx::ChunkCallback(chunk.Data(), chunk.Samples(), &session);
    }
    const double seconds = SecondsSince(start);
    Require(Buffered(session) == calls, "the data callback did not buffer every chunk");
    kx::ClearChunkBuffer(session, true);
    return seconds / static_cast<double>(calls);
}

double TrialPlainCopy(const SdkChunk& chunk, std::vector<double>& target, std::size_t calls) {
    const std::size_t samples = chunk.Samples();
    const auto start = Clock::now();
    for (std::size_t i = 0; i < calls; ++i) {
        for (std::size_t c = 0; c < chunk.Channels(); ++c) {
            const std::vector<float>& channel = chunk.Channel(c);
            std::copy(channel.begin(), channel.end(), target.begin() + static_cast<std::ptrdiff_t>(c * samples));
        }
        KeepAlive(target.data());
    }
    return SecondsSince(start) / static_cast<double>(calls);
}

void CompareConversion(Report& report, std::size_t channels, std::size_t samples, std::size_t calls, int trials,
                       double limit) {
    kx::SessionState session;
    CallbackManager manager(session, channels);
    const SdkChunk chunk(channels, samples);
    std::vector<double> target(channels * samples);
    const Comparison result = Compare(
        trials, [&] { return TrialCallback(session, chunk, calls); },
        [&] { return TrialPlainCopy(chunk, target, calls); });
    report.AtMost("chunk callback conversion of " + Layout(channels, samples) + " float32", result.Ratio(),
                  "std::copy float->double of the same values", limit);
}

// ---- 4. sustained rate --------------------------------------------------------

constexpr std::size_t kRateChannels = 64;
constexpr std::size_t kRateSamples = 32;
constexpr std::size_t kRateChunks = 20000;
constexpr int kRateTrials = 5;

struct RateTrial {
    double samples_per_second = 0.0;
    std::size_t dropped = 0;
};

double MetaValue(const mxArray* result, const char* field) {
    const mxArray* meta = mxGetField(result, 0, "meta");
    const mxArray* value = meta == nullptr ? nullptr : mxGetField(meta, 0, field);
    Require(value != nullptr && mxGetNumberOfElements(value) == 1, std::string("read_chunk meta has no ") + field);
    return mxGetScalar(value);
}

// The SDK's thread calls the data callback as fast as it can while this
// thread (MATLAB's) reads the buffer into matrices; the rate is what reaches
// MATLAB. A drop means the reader is the limit, and is counted.
RateTrial TrialSustainedRate(const SdkChunk& chunk, const mxArray* payload) {
    kx::SessionState& session = *kx::Session();
    kx::ClearChunkBuffer(session, true);
    kxsim::ClearCalls();
    std::atomic<bool> produced{false};
    RateTrial trial;
    std::size_t delivered = 0;

    const auto start = Clock::now();
    Joined producer(std::thread([&] {
        for (std::size_t i = 0; i < kRateChunks; ++i) {
            kx::ChunkCallback(chunk.Data(), chunk.Samples(), &session);
        }
        produced.store(true);
    }));
    std::size_t accounted = 0;
    const auto deadline = start + std::chrono::seconds(30);
    while (accounted < kRateChunks && Clock::now() < deadline) {
        kx::MxPtr result = kx::HandleReadChunk(payload);
        const mxArray* data = mxGetField(result.get(), 0, "data");
        Require(data != nullptr, "read_chunk result has no data");
        const std::size_t chunks = static_cast<std::size_t>(MetaValue(result.get(), "chunk_count"));
        const std::size_t dropped = static_cast<std::size_t>(MetaValue(result.get(), "dropped_chunks"));
        if (chunks > 0) {
            Require(mxGetM(data) == kRateChannels, "read_chunk matrix has the wrong channel count");
            delivered += mxGetN(data);
        }
        accounted += chunks + dropped;
        trial.dropped += dropped;
        if (chunks == 0 && dropped == 0 && produced.load()) {
            break;  // nothing more will come
        }
    }
    const double seconds = SecondsSince(start);
    producer.Join();
    Require(accounted == kRateChunks, "sustained run lost chunks uncounted");
    trial.samples_per_second = static_cast<double>(delivered) / seconds;
    return trial;
}

// ---- memory ------------------------------------------------------------------

std::size_t HeapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;  // arena chunks in use + mmapped chunks
}

}  // namespace

void BenchChunkHandOff(Report& report) {
    const Comparison result = Compare(201, TrialBufferHandOff, TrialBareHandOff);
    report.AtMost("chunk push+drain per chunk (" + Layout(kHandOffChannels, kHandOffSamples) + ")", result.Ratio(),
                  "bare cv hand-off", 5.0);
}

void BenchChunkConversion(Report& report) {
    CompareConversion(report, 16, 32, 256, 201, 10.0);
    CompareConversion(report, 64, 512, 16, 101, 3.0);
}

void BenchSustainedRate(Report& report) {
    CallbackManager manager(*kx::Session(), kRateChannels);
    const SdkChunk chunk(kRateChannels, kRateSamples);
    const mxhost::Array payload = mxhost::Struct({{"timeout_ms", mxhost::Num(100)}});
    TrialSustainedRate(chunk, payload);  // warm-up
    std::vector<double> rates;
    RateTrial total;
    for (int i = 0; i < kRateTrials; ++i) {
        const RateTrial trial = TrialSustainedRate(chunk, payload);
        rates.push_back(trial.samples_per_second);
        total.dropped += trial.dropped;
    }
    kx::ClearChunkBuffer(*kx::Session(), true);
    const double rate = Median(rates);
    report.AtLeast("sustained rate of " + std::to_string(kRateChannels) + " channels (callback+push+drain+matrix, " +
                       std::to_string(kRateSamples) + "-sample chunks)",
                   rate / kFastestRateHz, "the fastest headset (16000 Hz x 64 channels)", 10.0);
    // The producer runs unpaced, so drops mean the reading side set the rate.
    report.Note(std::to_string(total.dropped) + " of " + std::to_string(kRateTrials * kRateChunks) +
                " chunks dropped by the full buffer: the " + (total.dropped > 0 ? "reading" : "producing") +
                " side is the limit");
}

void BenchBufferMemory(Report& report) {
    constexpr std::size_t kChannels = 64;
    constexpr std::size_t kSamples = 512;
    kx::SessionState session;
    CallbackManager manager(session, kChannels);
    const SdkChunk chunk(kChannels, kSamples);
    const std::size_t capacity = session.max_buffer_chunks;
    const std::size_t before = HeapBytesInUse();
    std::size_t peak = 0;
    // Twice the capacity: a full buffer, then a full buffer that keeps
    // discarding its oldest chunk.
    for (std::size_t i = 0; i < 2 * capacity; ++i) {
        kx::ChunkCallback(chunk.Data(), chunk.Samples(), &session);
        peak = std::max(peak, HeapBytesInUse());
    }
    Require(Buffered(session) == capacity, "the buffer does not hold its capacity");
    const double raw = static_cast<double>(capacity * kChannels * kSamples * sizeof(double));
    const double held = static_cast<double>(peak > before ? peak - before : 0);
    kx::ClearChunkBuffer(session, true);
    if (held == 0) {
        // A sanitizer's allocator does not report to mallinfo2.
        report.Line("peak memory of a full buffer: not measurable with this build's allocator");
        return;
    }
    report.AtMost("peak memory of a full " + std::to_string(capacity) + "-chunk buffer of " +
                      Layout(kChannels, kSamples),
                  held / raw, "the raw sample bytes", 1.1);
}

}  // namespace kxbench
