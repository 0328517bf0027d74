// Streams: packet size, rate, values, channel types, and callback detaching.
#include <cstring>

#include "sim_test_util.h"

namespace {

using simtest::SimTest;
using StreamTest = SimTest;

// Streams whose samples carry their index (SignalKind::kRamp).
class RampStreamTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        kxsim::SetSignal(kxsim::SignalKind::kRamp);
    }
};

struct Chunk {
    size_t samples = 0;
    std::vector<uint8_t> types;
    std::vector<bool> null;
    std::vector<std::vector<double>> values;  // [position][sample]
};

// Reads every chunk the way the gateway does: types asked inside the callback.
struct Recorder {
    kx_eeg_manager* m = nullptr;
    std::mutex mu;
    std::condition_variable cv;
    std::vector<Chunk> chunks;

    static void OnChunk(const void* const* data, size_t samples, void* user) {
        auto* self = static_cast<Recorder*>(user);
        const uint8_t* types = nullptr;
        size_t count = 0;
        kx_eeg_manager_get_stream_channel_data_types(self->m, &types, &count);
        Chunk c;
        c.samples = samples;
        c.types.assign(types, types + count);
        for (size_t p = 0; p < count; ++p) {
            c.null.push_back(data[p] == nullptr);
            std::vector<double> v;
            for (size_t i = 0; data[p] && i < samples; ++i) {
                switch (types[p]) {
                    case KX_DATA_TYPE_FLOAT32: v.push_back(static_cast<const float*>(data[p])[i]); break;
                    case KX_DATA_TYPE_UINT8: v.push_back(static_cast<const uint8_t*>(data[p])[i]); break;
                    case KX_DATA_TYPE_UINT64:
                        v.push_back(static_cast<double>(static_cast<const uint64_t*>(data[p])[i]));
                        break;
                    case KX_DATA_TYPE_FLOAT64: v.push_back(static_cast<const double*>(data[p])[i]); break;
                    default: break;
                }
            }
            c.values.push_back(std::move(v));
        }
        std::lock_guard<std::mutex> lk(self->mu);
        self->chunks.push_back(std::move(c));
        self->cv.notify_all();
    }
    size_t Count() {
        std::lock_guard<std::mutex> lk(mu);
        return chunks.size();
    }
    bool WaitCount(size_t n, int timeout_ms = 5000) {
        return simtest::WaitUntil(
            mu, cv, [&] { return chunks.size() >= n; }, timeout_ms);
    }
};

kx_eeg_manager* StartManual(Recorder& r, const char* name = "SIM SOLA 101") {
    kxsim::SetManualStream(true);
    r.m = simtest::Connected(name);
    if (!r.m) return nullptr;
    kx_eeg_manager_set_callback_chunk(r.m, Recorder::OnChunk, &r);
    return kx_eeg_manager_start_stream(r.m, nullptr, nullptr) == KX_ERROR_OK ? r.m : nullptr;
}

TEST_F(RampStreamTest, Chunks_CarrySamplePerPacketFloatSamplesForEveryElectrode) {
    Recorder r;
    ASSERT_NE(StartManual(r), nullptr);
    EXPECT_TRUE(kx_eeg_manager_is_streaming(r.m));
    ASSERT_TRUE(kxsim::EmitChunks(3));
    ASSERT_EQ(r.Count(), 3u);
    for (size_t k = 0; k < 3; ++k) {
        const Chunk& c = r.chunks[k];
        ASSERT_EQ(c.samples, 25u);
        ASSERT_EQ(c.types, std::vector<uint8_t>(8, KX_DATA_TYPE_FLOAT32));
        for (int p = 0; p < 8; ++p)
            for (size_t i = 0; i < 25; ++i)
                ASSERT_EQ(c.values[p][i], kxsim::RampSample(p, k * 25 + i)) << "chunk " << k << " position " << p;
    }
    EXPECT_EQ(kxsim::ChunksProduced(), 3u);
    EXPECT_EQ(kxsim::SampleIndex(), 75u);
    kx_eeg_manager_free(r.m);
}

TEST_F(RampStreamTest, RampSample_DiffersBetweenChannelsAndNeighbouringSamples) {
    EXPECT_NE(kxsim::RampSample(0, 0), kxsim::RampSample(1, 0));
    EXPECT_NE(kxsim::RampSample(0, 0), kxsim::RampSample(0, 1));
    EXPECT_LT(kxsim::RampSample(0, 0), 0.0f);
}

TEST_F(RampStreamTest, RestartedStream_CountsSamplesFromZeroAgain) {
    Recorder r;
    ASSERT_NE(StartManual(r), nullptr);
    ASSERT_TRUE(kxsim::EmitChunks(2));
    kx_eeg_manager_stop_stream(r.m, nullptr, nullptr);
    EXPECT_FALSE(kx_eeg_manager_is_streaming(r.m));
    ASSERT_EQ(kx_eeg_manager_start_stream(r.m, nullptr, nullptr), KX_ERROR_OK);
    ASSERT_TRUE(kxsim::EmitChunks(1));
    ASSERT_EQ(r.Count(), 3u);
    EXPECT_EQ(r.chunks[2].values[0][0], kxsim::RampSample(0, 0));
    kx_eeg_manager_free(r.m);
}

TEST_F(StreamTest, DisabledChannels_AreNotStreamed) {
    Recorder r;
    kxsim::SetManualStream(true);
    r.m = simtest::Connected("SIM ZEM 202");
    ASSERT_NE(r.m, nullptr);
    for (uint16_t ch = 4; ch < 16; ++ch) kx_eeg_manager_set_channel_enabled(r.m, ch, false);
    kx_eeg_manager_set_callback_chunk(r.m, Recorder::OnChunk, &r);
    ASSERT_EQ(kx_eeg_manager_start_stream(r.m, nullptr, nullptr), KX_ERROR_OK);
    ASSERT_TRUE(kxsim::EmitChunks(1));
    ASSERT_EQ(r.Count(), 1u);
    EXPECT_EQ(r.chunks[0].samples, 32u);
    EXPECT_EQ(r.chunks[0].types.size(), 4u);
    kx_eeg_manager_free(r.m);
}

TEST_F(RampStreamTest, ScriptedTypesAndNullChannels_AreReportedAndFilledByType) {
    kxsim::SetChannelTypes({0, 1, 2, 3, 9});
    kxsim::SetNullChannels({2});
    Recorder r;
    ASSERT_NE(StartManual(r), nullptr);
    ASSERT_TRUE(kxsim::EmitChunks(2));
    ASSERT_EQ(r.Count(), 2u);
    const Chunk& c = r.chunks[1];
    ASSERT_EQ(c.types, (std::vector<uint8_t>{0, 1, 2, 3, 9}));
    EXPECT_EQ(c.null, (std::vector<bool>{false, false, true, false, false}));
    for (int p : {0, 1, 3})
        for (size_t i = 0; i < c.samples; ++i)
            ASSERT_EQ(c.values[p][i], kxsim::RampValue(c.types[p], p, 25 + i)) << "position " << p;
    EXPECT_EQ(kxsim::RampValue(KX_DATA_TYPE_UINT8, 1, 300), (300 + 7) % 256);
    kx_eeg_manager_free(r.m);
}

TEST_F(StreamTest, ChannelCountChange_TakesEffectFromTheGivenChunk) {
    kxsim::SetChannelCountChangeAfter(2, 3);
    Recorder r;
    ASSERT_NE(StartManual(r), nullptr);
    ASSERT_TRUE(kxsim::EmitChunks(4));
    ASSERT_EQ(r.Count(), 4u);
    EXPECT_EQ(r.chunks[1].types.size(), 8u);
    EXPECT_EQ(r.chunks[2].types.size(), 3u);
    EXPECT_EQ(r.chunks[3].values.size(), 3u);
    kx_eeg_manager_free(r.m);
}

TEST_F(RampStreamTest, StartBurst_DeliversThatManyChunksAtOnce) {
    kxsim::SetStartBurst(300);
    Recorder r;
    ASSERT_NE(StartManual(r), nullptr);
    ASSERT_TRUE(r.WaitCount(300));
    EXPECT_EQ(r.chunks[299].values[0][0], kxsim::RampSample(0, 299 * 25));
    kx_eeg_manager_free(r.m);
}

TEST_F(StreamTest, TimedStream_FollowsThePacketPeriodOfTheRateCode) {
    struct Case {
        const char* name;
        int rate_code;
        size_t chunks;
        int min_ms;
    };
    // SOLA: 25 samples per packet. 250 Hz: 100 ms per packet; 16000 Hz: 1.5625 ms.
    const Case cases[] = {{"250 Hz", KX_RATE_250, 4, 390}, {"16000 Hz", KX_RATE_16000, 200, 300}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder r;
        r.m = simtest::Connected();
        ASSERT_NE(r.m, nullptr);
        ASSERT_EQ(kx_eeg_manager_set_data_stream_rate(r.m, static_cast<uint8_t>(c.rate_code)), KX_ERROR_OK);
        kx_eeg_manager_set_callback_chunk(r.m, Recorder::OnChunk, &r);
        auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(kx_eeg_manager_start_stream(r.m, nullptr, nullptr), KX_ERROR_OK);
        ASSERT_TRUE(r.WaitCount(c.chunks, 10000));
        auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(ms, c.min_ms);
        EXPECT_LT(ms, c.min_ms * 5 + 500);
        kx_eeg_manager_free(r.m);
    }
}

// Chunk k of a timed stream is due k periods after the start, on the
// headset's clock: a slow clock cannot deliver it sooner, and a fast one
// delivers it before the nominal period would (the bound leaves 9 % of the
// time as slack for a loaded machine).
TEST_F(StreamTest, ClockPpm_PacesChunksFastOrSlowAgainstTheSystemClock) {
    constexpr size_t kChunks = 100;
    const double nominal_ms = 25 * 1000.0 / 2000;  // SOLA: 25 samples per packet at 2000 Hz
    struct Case {
        const char* line;
        double ppm;
    };
    for (const Case& c : {Case{"stream clock_ppm 100000", 100000}, Case{"stream clock_ppm -1e5", -100000}}) {
        SCOPED_TRACE(c.line);
        ASSERT_TRUE(kxsim::LoadScenarioText(c.line));
        Recorder r;
        r.m = simtest::Connected();
        ASSERT_NE(r.m, nullptr);
        ASSERT_EQ(kx_eeg_manager_set_data_stream_rate(r.m, KX_RATE_2000), KX_ERROR_OK);
        kx_eeg_manager_set_callback_chunk(r.m, Recorder::OnChunk, &r);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(kx_eeg_manager_start_stream(r.m, nullptr, nullptr), KX_ERROR_OK);
        ASSERT_TRUE(r.WaitCount(kChunks, 10000));
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        kx_eeg_manager_free(r.m);
        EXPECT_GE(ms, kChunks * nominal_ms / (1 + c.ppm * 1e-6) - 0.01);
        if (c.ppm > 0) {
            EXPECT_LT(ms, kChunks * nominal_ms);
        }
    }
    EXPECT_FALSE(kxsim::LoadScenarioText("stream clock_ppm 100001\nstream clock_ppm fast\n"));
    EXPECT_EQ(kxsim::Violations().size(), 2u);
}

TEST_F(StreamTest, StreamingDelays_DeferTheReportedState) {
    kxsim::SetStreamingDelays(100, 100);
    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(kx_eeg_manager_start_stream(m, nullptr, nullptr), KX_ERROR_OK);
    EXPECT_FALSE(kx_eeg_manager_is_streaming(m));
    EXPECT_TRUE(simtest::WaitStreaming(m, true));
    ASSERT_EQ(kx_eeg_manager_stop_stream(m, nullptr, nullptr), KX_ERROR_OK);
    EXPECT_TRUE(kx_eeg_manager_is_streaming(m));
    EXPECT_TRUE(simtest::WaitStreaming(m, false));
    kx_eeg_manager_free(m);
}

// Blocks inside its first chunk until released.
struct Gate {
    std::mutex mu;
    std::condition_variable cv;
    bool inside = false;
    bool released = false;
    bool finished = false;
    int calls = 0;
    static void OnChunk(const void* const*, size_t, void* user) {
        auto* g = static_cast<Gate*>(user);
        std::unique_lock<std::mutex> lk(g->mu);
        ++g->calls;
        g->inside = true;
        g->cv.notify_all();
        g->cv.wait_for(lk, std::chrono::seconds(5), [&] { return g->released; });
        g->finished = true;
    }
};

TEST_F(StreamTest, Detach_WaitsForTheCallbackInFlightAndNothingIsDeliveredAfter) {
    kxsim::SetManualStream(true);
    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    Gate g;
    kx_eeg_manager_set_callback_chunk(m, Gate::OnChunk, &g);
    ASSERT_EQ(kx_eeg_manager_start_stream(m, nullptr, nullptr), KX_ERROR_OK);
    std::thread emitter([] { kxsim::EmitChunks(1); });
    ASSERT_TRUE(simtest::WaitUntil(g.mu, g.cv, [&] { return g.inside; }));

    std::atomic<bool> detached{false};
    bool finished_when_detached = false;
    std::thread detacher([&] {
        kx_eeg_manager_set_callback_chunk(m, nullptr, nullptr);
        std::lock_guard<std::mutex> lk(g.mu);
        finished_when_detached = g.finished;
        detached = true;
    });
    ASSERT_TRUE(kxsim::WaitForCalls("kx_eeg_manager_set_callback_chunk", 2));
    EXPECT_FALSE(detached.load());
    {
        std::lock_guard<std::mutex> lk(g.mu);
        g.released = true;
        g.cv.notify_all();
    }
    detacher.join();
    emitter.join();
    EXPECT_TRUE(finished_when_detached);

    ASSERT_TRUE(kxsim::EmitChunks(3));  // produced, but nobody is attached
    EXPECT_EQ(g.calls, 1);
    EXPECT_EQ(kxsim::ChunksProduced(), 1u);
    EXPECT_EQ(kxsim::SampleIndex(), 100u);
    kx_eeg_manager_free(m);
    EXPECT_TRUE(kxsim::Violations().empty());
}

struct SelfStopper {
    kx_eeg_manager* m = nullptr;
    std::atomic<int> calls{0};
    static void OnChunk(const void* const*, size_t, void* user) {
        auto* s = static_cast<SelfStopper*>(user);
        if (s->calls++ == 0) {
            kx_eeg_manager_stop_stream(s->m, nullptr, nullptr);
            kx_eeg_manager_free(s->m);
            kx_eeg_manager_set_callback_chunk(s->m, nullptr, nullptr);
        }
    }
};

TEST_F(StreamTest, StopFreeAndDetachFromInsideTheChunkCallback_AreViolationsNotDeadlocks) {
    kxsim::SetManualStream(true);
    SelfStopper s;
    s.m = simtest::Connected();
    ASSERT_NE(s.m, nullptr);
    kx_eeg_manager_set_callback_chunk(s.m, SelfStopper::OnChunk, &s);
    ASSERT_EQ(kx_eeg_manager_start_stream(s.m, nullptr, nullptr), KX_ERROR_OK);
    ASSERT_TRUE(kxsim::EmitChunks(1));
    auto v = kxsim::Violations();
    ASSERT_EQ(v.size(), 3u);
    EXPECT_NE(v[0].find("stop_stream from inside the chunk callback"), std::string::npos);
    EXPECT_NE(v[1].find("free of m1 from inside its own callback"), std::string::npos);
    EXPECT_NE(v[2].find("set_callback_chunk from inside the chunk callback"), std::string::npos);
    EXPECT_EQ(kxsim::LiveManagers(), 1);
    kx_eeg_manager_free(s.m);
    EXPECT_EQ(kxsim::LiveManagers(), 0);
}

}  // namespace
