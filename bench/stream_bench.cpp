// The producer side of the gateway below the MEX entry point: the buffer's
// hand-off, the whole path into a MATLAB matrix at full speed, and the memory
// a full buffer holds and a long stream leaves behind.
#include "bench/fixtures.h"
#include "bench/sections.h"

#include "gateway/commands.h"
#include "harness.h"
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
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kxbench {
namespace {

constexpr int kWaitMs = 5000;  // a stalled hand-off fails the run instead of hanging it

std::size_t Buffered(kx::SessionState& session) {
    std::lock_guard<std::mutex> lock(session.mutex);
    return session.chunk_buffer.size();
}

// ---- hand-off -------------------------------------------------------------

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

// How long a thread blocked for 10 ms on a condition variable takes to run
// after the notify: the operating system's part of read_chunk's latency.
double WakeUpAfterIdleSeconds() {
    std::mutex mutex;
    std::condition_variable changed;
    int round = 0;
    Clock::time_point notified;
    std::vector<double> delays;
    constexpr int kRounds = 101;
    Joined waiter(std::thread([&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (int seen = 0; seen < kRounds; ++seen) {
            if (!changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return round > seen; })) {
                return;
            }
            delays.push_back(std::chrono::duration<double>(Clock::now() - notified).count());
        }
    }));
    for (int k = 0; k < kRounds; ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++round;
            notified = Clock::now();
        }
        changed.notify_all();
    }
    waiter.Join();
    Require(delays.size() == kRounds, "the waiting thread missed a notify");
    return Median(delays);
}

double ProcessCpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ---- sustained rate -----------------------------------------------------------

constexpr std::size_t kRateChannels = 64;
constexpr std::size_t kRateSamples = 32;
constexpr std::size_t kRateChunks = 20000;
constexpr int kRateRuns = 5;

struct RateRun {
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
RateRun RunSustained(const SdkChunk& chunk, const mxArray* payload) {
    kx::SessionState& session = *kx::Session();
    kx::ClearChunkBuffer(session, true);
    kxsim::ClearCalls();
    std::atomic<bool> produced{false};
    RateRun run;
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
        run.dropped += dropped;
        if (chunks == 0 && dropped == 0 && produced.load()) {
            break;  // nothing more will come
        }
    }
    const double seconds = SecondsSince(start);
    producer.Join();
    Require(accounted == kRateChunks, "sustained run lost chunks uncounted");
    run.samples_per_second = static_cast<double>(delivered) / seconds;
    return run;
}

// ---- memory -------------------------------------------------------------------

constexpr std::size_t kCycles = 1000000;
constexpr std::size_t kCyclesWarmUp = 10000;

// Returns freed heap to the system first, so that the resident size counts
// what is held, not what earlier sections left in the allocator.
std::size_t TrimmedResidentBytes() {
    malloc_trim(0);
    return ResidentBytes();
}

void BenchFullBuffer(Report& report) {
    constexpr std::size_t kChannels = 64;
    constexpr std::size_t kSamples = 512;
    kx::SessionState session;
    CallbackManager manager(session, kChannels);
    const SdkChunk chunk(kChannels, kSamples);
    const std::size_t capacity = session.max_buffer_chunks;
    const std::size_t before = TrimmedResidentBytes();
    // Twice the capacity: a full buffer, then a full buffer that keeps
    // discarding its oldest chunk.
    for (std::size_t i = 0; i < 2 * capacity; ++i) {
        kx::ChunkCallback(chunk.Data(), chunk.Samples(), &session);
        if (i % 64 == 0) {
            kxsim::ClearCalls();
        }
    }
    kxsim::ClearCalls();
    Require(Buffered(session) == capacity, "the buffer does not hold its capacity");
    const std::size_t full = TrimmedResidentBytes();
    const double raw = static_cast<double>(capacity * kChannels * kSamples * sizeof(double));
    const double held = static_cast<double>(full > before ? full - before : 0);
    report.AtMost("resident memory of a full " + std::to_string(capacity) + "-chunk buffer of " +
                      Layout(kChannels, kSamples) + " vs its raw sample bytes",
                  held / raw, 1.1);
    kx::ClearChunkBuffer(session, true);
}

// Push and read cycles through the whole path (callback, buffer, read_chunk's
// matrix); the resident size after the warm-up against the size at the end.
void BenchLongStream(Report& report) {
    constexpr std::size_t kChannels = 32;
    constexpr std::size_t kSamples = 25;
    CallbackManager manager(*kx::Session(), kChannels);
    const SdkChunk chunk(kChannels, kSamples);
    kx::ClearChunkBuffer(*kx::Session(), true);
    std::size_t before = 0;
    for (std::size_t cycle = 0; cycle < kCyclesWarmUp + kCycles; ++cycle) {
        if (cycle == kCyclesWarmUp) {
            before = ResidentBytes();
        }
        kx::ChunkCallback(chunk.Data(), chunk.Samples(), kx::Session());
        const kx::MxPtr read = kx::HandleReadChunk(nullptr);
        if (cycle % 1024 == 0) {
            Require(MetaValue(read.get(), "chunk_count") == 1, "a push and read cycle lost its chunk");
            kxsim::ClearCalls();
        }
    }
    const std::size_t after = ResidentBytes();
    const double growth_mib = static_cast<double>(after > before ? after - before : 0) / (1024.0 * 1024.0);
    report.AtMost("resident memory growth over 10^6 push and read cycles of " + Layout(kChannels, kSamples) + ", MiB",
                  growth_mib, 1.0);
}

}  // namespace

void BenchChunkHandOff(Report& report) {
    const Comparison result = Compare(201, TrialBufferHandOff, TrialBareHandOff);
    report.AtMost("chunk push and drain per " + Layout(kHandOffChannels, kHandOffSamples) +
                      " chunk vs a bare condition-variable hand-off",
                  result.Ratio(), 5.0);
    report.Note("a thread blocked 10 ms on a condition variable runs p50 " + Format(WakeUpAfterIdleSeconds() * 1e6, 1) +
                " us after the notify: the system's share of the Octave latency figure");
}

void BenchSustainedRate(Report& report) {
    CallbackManager manager(*kx::Session(), kRateChannels);
    const SdkChunk chunk(kRateChannels, kRateSamples);
    const mxhost::Array payload = mxhost::Struct({{"timeout_ms", mxhost::Num(100)}});
    RunSustained(chunk, payload);  // warm-up
    std::vector<double> rates;
    std::size_t dropped = 0;
    const double cpu_before = ProcessCpuSeconds();
    const auto wall_start = Clock::now();
    for (int i = 0; i < kRateRuns; ++i) {
        const RateRun run = RunSustained(chunk, payload);
        rates.push_back(run.samples_per_second / kFastestRateHz);
        dropped += run.dropped;
    }
    const double cores = (ProcessCpuSeconds() - cpu_before) / SecondsSince(wall_start);
    kx::ClearChunkBuffer(*kx::Session(), true);
    std::string each;
    for (double rate : rates) {
        each += (each.empty() ? "" : ", ") + FormatRatio(rate);
    }
    report.AtLeast("sustained " + std::to_string(kRateChannels) + "-channel path (callback, push, drain, matrix; " +
                       std::to_string(kRateSamples) + "-sample chunks), slowest of " + std::to_string(kRateRuns) +
                       " runs, vs the fastest headset (16 kHz)",
                   *std::min_element(rates.begin(), rates.end()), 200);
    report.Note("runs: " + each + "; the producer and the reader used " + Format(cores, 2) +
                " cores on average (a reader that falls behind never idles, so drops with less than 2 mean"
                " they shared a core with other work)");
    report.AtMost(
        "chunks dropped in those runs (" + std::to_string(kRateRuns * kRateChunks) + " made, producer unpaced)",
        static_cast<double>(dropped), 0);
}

void BenchBufferMemory(Report& report) {
    BenchFullBuffer(report);
    BenchLongStream(report);
}

}  // namespace kxbench
