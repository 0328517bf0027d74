// The soak: random command sequences for a fixed time (KX_SOAK_SECONDS,
// default 30) against the simulated SDK streaming fast, with every chunk
// accounted for. For each stream:
//
//   chunks produced = chunks returned by draining reads
//                   + dropped chunks reported by reads
//                   + chunks reported as drained by stop_stream and disconnect
//                   + chunks the commands discard without a count:
//                       start_stream empties the buffer and zeroes the
//                         dropped count (also when a stream already runs);
//                       disconnect zeroes the dropped count (it reports only
//                         the buffered chunks);
//                       close, a new connect and unloading the file empty
//                         the buffer and zero the count, reporting neither.
//
// Reads, stops and the producer run concurrently; every command that
// discards without a count runs when nothing is in flight and the buffer's
// content is known (after a draining read, then chunks pushed one by one),
// so that every term above is measured or follows from the buffer's rules,
// never from the difference itself. A watchdog fails any command that runs
// past its bound. Resident memory must stay flat.
#include "gateway_fixture.h"

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>

namespace kxtest {
namespace {

using mxhost::Field;
using mxhost::Num;
using mxhost::Str;
using mxhost::Struct;
using Clock = std::chrono::steady_clock;

constexpr const char* kHeadset = "SIM SOLA 101";
// Added to every bound: scheduling on a loaded machine and the sanitizers.
constexpr auto kGrace = std::chrono::seconds(2);

int SoakSeconds() {
    const char* text = std::getenv("KX_SOAK_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 30;
    return seconds > 0 ? seconds : 30;
}

std::uint64_t SoakSeed() {
    const char* text = std::getenv("KX_SOAK_SEED");
    return text != nullptr ? std::strtoull(text, nullptr, 10)
                           : static_cast<std::uint64_t>(Clock::now().time_since_epoch().count());
}

std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t total = 0;
    std::size_t resident = 0;
    statm >> total >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Fails the process when a command runs past its bound: a hung command would
// otherwise hang the soak.
class Watchdog {
public:
    Watchdog() : thread_([this] { Watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void Begin(const std::string& command, Clock::duration bound) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            command_ = command;
            deadline_ = Clock::now() + bound + kGrace;
            active_ = true;
        }
        changed_.notify_all();
    }
    void End() {
        std::lock_guard<std::mutex> lock(mutex_);
        active_ = false;
    }

private:
    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_) {
            if (!active_) {
                changed_.wait(lock, [this] { return quit_ || active_; });
                continue;
            }
            const auto deadline = deadline_;
            if (changed_.wait_until(lock, deadline,
                                    [this, deadline] { return quit_ || !active_ || deadline_ != deadline; })) {
                continue;
            }
            std::fprintf(stderr, "soak watchdog: '%s' ran past its bound\n", command_.c_str());
            std::fflush(stderr);
            std::abort();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::string command_;
    Clock::time_point deadline_{};
    bool active_ = false;
    bool quit_ = false;
    std::thread thread_;
};

// Emits bursts of chunks on the simulator's stream thread until stopped.
class Producer {
public:
    Producer(std::uint64_t seed) : rng_(seed), thread_([this] { Run(); }) {}
    ~Producer() { Stop(); }
    Producer(const Producer&) = delete;
    Producer& operator=(const Producer&) = delete;

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            const int burst = std::uniform_int_distribution<int>(1, 64)(rng_);
            const auto pause = std::chrono::microseconds(std::uniform_int_distribution<int>(0, 2000)(rng_));
            lock.unlock();
            kxsim::EmitChunks(burst, 300);  // false once the stream has stopped
            lock.lock();
            wake_.wait_for(lock, pause, [this] { return stop_; });
        }
    }

    std::mt19937_64 rng_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

class Soak : public GatewayTest {
protected:
    void SetUp() override {
        GatewayTest::SetUp();
        seed_ = SoakSeed();
        rng_.seed(seed_);
        ConfigureWorld();
    }

    static void ConfigureWorld() {
        kxsim::SetConnectPlan({0, 0, 0, true, -1});
        kxsim::SetInitialRateCode(0);  // 16 kHz: a timed stream delivers a chunk every 1.6 ms
        kxsim::SetManualStream(true);
    }

    int Random(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    // ---- commands, each under the watchdog --------------------------------

    CallResult Command(const std::string& name, const mxArray* payload, Clock::duration bound) {
        watchdog_.Begin(name, bound);
        CallResult result = payload != nullptr ? Call(name, payload) : Call(name);
        watchdog_.End();
        ++commands_;
        EXPECT_MEX_OK(result) << name;
        return result;
    }
    CallResult Command(const std::string& name, Clock::duration bound = std::chrono::seconds(1)) {
        return Command(name, nullptr, bound);
    }

    void Connect() {
        Array payload = Struct({{"device_name", Str(kHeadset)}});
        CallResult r = Command("connect", payload, std::chrono::seconds(30));
        ASSERT_TRUE(r.ok && B(r.value, "connected"));
        connected_ = true;
        locked_ = true;
        streaming_ = false;
    }

    struct Read {
        bool available = false;
        std::uint64_t chunks = 0;
        std::uint64_t dropped = 0;
    };
    Read ReadChunks(bool drain, int timeout_ms) {
        Array payload = Struct({{"timeout_ms", Num(timeout_ms)}, {"drain", mxhost::Logical(drain)}});
        CallResult r = Command("read_chunk", payload, std::chrono::milliseconds(timeout_ms) + std::chrono::seconds(1));
        Read read;
        if (!r.ok) {
            return read;
        }
        const mxArray* meta = Field(r.value, "meta");
        read.available = B(meta, "available");
        read.chunks = static_cast<std::uint64_t>(D(meta, "chunk_count"));
        read.dropped = static_cast<std::uint64_t>(D(meta, "dropped_chunks"));
        ledger_.dropped += read.dropped;
        if (drain) {
            ledger_.returned += read.chunks;
        }
        return read;
    }

    // ---- the ledger of the current stream ----------------------------------

    struct Ledger {
        bool open = false;
        std::uint64_t start = 0;  // kxsim::ChunksProduced() when the stream started
        std::uint64_t returned = 0, dropped = 0, drained = 0, silent = 0;
    };

    std::uint64_t Produced() const { return kxsim::ChunksProduced() - ledger_.start; }

    // Closes the stream's books; `silent` are the chunks a command discarded
    // without a count, as the buffer's rules say (never the difference).
    void CloseLedger(std::uint64_t silent) {
        if (!ledger_.open) {
            return;
        }
        ledger_.silent += silent;
        const std::uint64_t produced = Produced();
        const std::uint64_t accounted = ledger_.returned + ledger_.dropped + ledger_.drained + ledger_.silent;
        const std::uint64_t unaccounted = produced > accounted ? produced - accounted : accounted - produced;
        EXPECT_EQ(produced, accounted) << "stream " << streams_ << ": returned " << ledger_.returned << ", dropped "
                                       << ledger_.dropped << ", drained " << ledger_.drained << ", discarded "
                                       << ledger_.silent << " (seed " << seed_ << ")";
        ++streams_;
        produced_total_ += produced;
        unaccounted_total_ += unaccounted;
        ledger_ = Ledger{};
        held_ = 0;  // every command that closes the books empties the buffer
        pending_dropped_ = 0;
    }

    // ---- the buffer's content where it is known ----------------------------

    void ModelPush(std::uint64_t chunks) {
        for (std::uint64_t i = 0; i < chunks; ++i) {
            if (held_ >= capacity_) {
                ++pending_dropped_;  // the oldest makes room
            } else {
                ++held_;
            }
        }
    }

    // Nothing in flight: the producer has ended, the start burst is in.
    // A draining read empties the buffer and reports the dropped count; the
    // books must then balance with nothing left in the buffer.
    void Quiesce() {
        ASSERT_TRUE(kxsim::WaitForChunks(ledger_.start + burst_, 10000));
        const Read read = ReadChunks(true, 0);
        (void)read;
        EXPECT_EQ(Produced(), ledger_.returned + ledger_.dropped + ledger_.drained)
            << "books at a quiescent point, seed " << seed_;
        held_ = 0;
        pending_dropped_ = 0;
        known_ = true;
    }

    // ---- episodes ----------------------------------------------------------

    void StartStream() {
        if (ledger_.open) {
            CloseLedger(held_ + pending_dropped_);  // start empties the buffer and zeroes the count
        }
        capacity_ = static_cast<std::uint64_t>(Chance(0.3) ? Random(1, 4) : Random(1, 256));
        // The SDK delivers a burst when a stream comes up, not when it is
        // asked to start one that already runs.
        burst_ = static_cast<std::uint64_t>(!streaming_ && Chance(0.5) ? Random(1, 300) : 0);
        kxsim::SetStartBurst(static_cast<int>(burst_));
        ledger_.open = true;
        ledger_.start = kxsim::ChunksProduced();
        Array payload = Struct({{"max_buffer_chunks", Num(static_cast<double>(capacity_))}});
        CallResult r = Command("start_stream", payload, std::chrono::seconds(10));
        ASSERT_TRUE(r.ok);
        streaming_ = true;
        held_ = 0;
        pending_dropped_ = 0;
        known_ = burst_ == 0;
    }

    // Reads (draining or newest-only, random timeouts) while chunks arrive;
    // sometimes the stream is stopped under way. Ends quiescent.
    void ConcurrentPhase(bool timed) {
        std::unique_ptr<Producer> producer;
        if (!timed) {
            producer = std::make_unique<Producer>(rng_());
        }
        const int steps = Random(3, 40);
        bool stopped = false;
        for (int i = 0; i < steps && !stopped; ++i) {
            const int pick = Random(0, 99);
            if (pick < 85) {
                ReadChunks(Chance(0.75), Chance(0.3) ? 0 : Random(1, 30));
            } else if (pick < 92) {
                Command(Chance(0.5) ? "status" : "is_streaming");
            } else {
                StopStream(false);
                stopped = true;
            }
        }
        if (timed && !stopped) {
            StopStream(false);
            stopped = true;
        }
        if (producer) {
            producer->Stop();
        }
        if (stopped) {
            // Nothing arrives after a stop; its dropped count comes with the next read.
            const Read read = ReadChunks(Chance(0.5), 0);
            EXPECT_FALSE(read.available);
            EXPECT_EQ(Produced(), ledger_.returned + ledger_.dropped + ledger_.drained)
                << "books after a stop, seed " << seed_;
            held_ = 0;
            pending_dropped_ = 0;
            known_ = true;
            CloseLedger(0);
            return;
        }
        Quiesce();
    }

    void StopStream(bool known) {
        CallResult r = Command("stop_stream", std::chrono::seconds(10));
        if (!r.ok) {
            return;
        }
        const auto drained = static_cast<std::uint64_t>(D(r.value, "drained_chunks"));
        EXPECT_EQ(B(r.value, "stopped"), streaming_);
        if (known) {
            EXPECT_EQ(drained, held_) << "seed " << seed_;
        }
        ledger_.drained += drained;
        held_ = 0;
        streaming_ = false;
    }

    // Ends a session step that discards the buffer and the dropped count.
    void Disconnect() {
        CallResult r = Command("disconnect");
        if (r.ok) {
            const auto drained = static_cast<std::uint64_t>(D(r.value, "drained_chunks"));
            EXPECT_EQ(drained, held_) << "seed " << seed_;
            ledger_.drained += drained;
        }
        CloseLedger(pending_dropped_);  // the dropped count is zeroed unreported
        connected_ = false;
        streaming_ = false;
    }

    void Close() {
        Command("close");
        CloseLedger(held_ + pending_dropped_);
        connected_ = false;
        streaming_ = false;
        locked_ = false;
    }

    void Reconnect() {
        const std::uint64_t discarded = held_ + pending_dropped_;
        Connect();
        CloseLedger(discarded);
    }

    void RefusedClear() {
        EXPECT_FALSE(mex().Clear()) << "clear must be refused while the file is locked";
        EXPECT_TRUE(mex().Loaded());
        CallResult status = Command("status");
        EXPECT_EQ(B(status.value, "streaming"), streaming_);
        EXPECT_EQ(B(status.value, "connected"), connected_);
    }

    // A step on a stream whose buffer content is known: running, or stopped
    // with its dropped count still to be reported.
    void KnownStep() {
        const int pick = Random(0, 99);
        if (pick < 30 && streaming_) {
            const auto chunks = static_cast<std::uint64_t>(Random(0, static_cast<int>(2 * capacity_) + 5));
            ASSERT_TRUE(kxsim::EmitChunks(static_cast<int>(chunks), 10000));
            ModelPush(chunks);
        } else if (pick < 50) {
            const bool drain = Chance(0.5);
            const Read read = ReadChunks(drain, 0);
            EXPECT_EQ(read.available, held_ > 0);
            EXPECT_EQ(read.chunks, drain ? held_ : (held_ > 0 ? 1u : 0u)) << "seed " << seed_;
            EXPECT_EQ(read.dropped, pending_dropped_) << "seed " << seed_;
            pending_dropped_ = 0;
            if (drain) {
                held_ = 0;
            }
        } else if (pick < 62 && streaming_) {
            StopStream(true);
        } else if (pick < 72) {
            StartStream();  // also on a running stream: the buffer is emptied again
        } else if (pick < 80) {
            Disconnect();
        } else if (pick < 86) {
            Close();
        } else if (pick < 92) {
            Reconnect();
        } else {
            RefusedClear();
        }
    }

    // A connected session with no stream and its books closed.
    void IdleStep() {
        const int pick = Random(0, 99);
        if (pick < 55) {
            StartStream();
        } else if (pick < 65) {
            const Read read = ReadChunks(Chance(0.5), Random(0, 5));
            EXPECT_FALSE(read.available);
            EXPECT_EQ(read.dropped, 0u);
        } else if (pick < 72) {
            CallResult r = Command("stop_stream", std::chrono::seconds(10));
            EXPECT_FALSE(B(r.value, "stopped"));
            EXPECT_EQ(D(r.value, "drained_chunks"), 0);
        } else if (pick < 80) {
            Disconnect();
        } else if (pick < 88) {
            Close();
        } else if (pick < 94) {
            Reconnect();
        } else {
            RefusedClear();
        }
    }

    void Episode() {
        if (!connected_) {
            if (Chance(0.5)) {
                // Unloading works only while unlocked (after close); the exit
                // handler then runs and a reload starts a fresh session.
                watchdog_.Begin("clear", std::chrono::seconds(1));
                const bool cleared = mex().Clear();
                watchdog_.End();
                EXPECT_EQ(cleared, !locked_);
                unloads_ += cleared ? 1 : 0;
            }
            Connect();
            return;
        }
        if (!ledger_.open) {
            IdleStep();
            return;
        }
        if (streaming_ && (!known_ || Chance(0.35))) {
            // A timed stream at 16 kHz races the reads with a steady flow
            // that only a stop ends; otherwise the producer emits bursts.
            const bool timed = Chance(0.2);
            if (timed) {
                kxsim::SetManualStream(false);
            }
            ConcurrentPhase(timed);
            if (timed) {
                kxsim::SetManualStream(true);
            }
            return;
        }
        KnownStep();
    }

    std::uint64_t seed_ = 0;
    std::mt19937_64 rng_;
    Watchdog watchdog_;
    Ledger ledger_;
    std::uint64_t capacity_ = 256, burst_ = 0, held_ = 0, pending_dropped_ = 0;
    // held_ and pending_dropped_ are the buffer's exact content.
    bool known_ = true;
    bool connected_ = false, streaming_ = false, locked_ = false;
    std::uint64_t streams_ = 0, produced_total_ = 0, unaccounted_total_ = 0, commands_ = 0, unloads_ = 0;
};

TEST_F(Soak, EveryChunkIsAccountedFor) {
    const int seconds = SoakSeconds();
    std::printf("soak: %d s, seed %llu\n", seconds, static_cast<unsigned long long>(seed_));
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(seconds);
    const auto warm = start + std::chrono::seconds(seconds) / 4;
    std::size_t warm_resident = 0;
    while (Clock::now() < deadline && !HasFailure()) {
        Episode();
        if (warm_resident == 0 && Clock::now() >= warm) {
            warm_resident = ResidentBytes();
        }
        kxsim::ClearCalls();  // the simulator's call log would grow for the whole run
    }
    // The books close with a last close, on a known buffer.
    if (streaming_ && !known_) {
        ConcurrentPhase(false);
    }
    Close();
    const std::size_t end_resident = ResidentBytes();

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // (The sanitizers keep memory of their own; LeakSanitizer checks leaks there.)
    if (warm_resident != 0) {
        EXPECT_LT(end_resident, warm_resident + (32u << 20))
            << "resident memory grew from " << warm_resident << " to " << end_resident << " bytes";
    }
#else
    (void)end_resident;
#endif
    std::printf("soak: %llu commands, %llu unloads, resident %zu -> %zu KiB\n",
                static_cast<unsigned long long>(commands_), static_cast<unsigned long long>(unloads_),
                warm_resident / 1024, end_resident / 1024);
    std::printf("soak: %llu streams, %llu chunks produced, %llu unaccounted\n",
                static_cast<unsigned long long>(streams_), static_cast<unsigned long long>(produced_total_),
                static_cast<unsigned long long>(unaccounted_total_));
    std::fflush(stdout);
    EXPECT_GT(streams_, 0u);
    EXPECT_EQ(unaccounted_total_, 0u);
}

}  // namespace
}  // namespace kxtest
