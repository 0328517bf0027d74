// The EEG-like signal: what a minute of it looks like in the spectrum and
// between channels, and that a stream delivers exactly the exposed generator.
#include <cmath>

#include "signal_analysis.h"
#include "sim_test_util.h"

namespace {

using simtest::SimTest;
using simtest::Spectrum;
using Channels = std::vector<std::vector<double>>;

Channels Generate(const kxsim::EegSettings& settings, const std::string& headset, int electrodes, double rate_hz,
                  double seconds) {
    kxsim::EegGenerator eeg(settings, headset, electrodes, rate_hz);
    const size_t samples = static_cast<size_t>(seconds * rate_hz);
    Channels out(static_cast<size_t>(electrodes), std::vector<double>(samples));
    std::vector<float> frame(static_cast<size_t>(electrodes));
    for (size_t i = 0; i < samples; ++i) {
        eeg.Next(frame.data());
        for (size_t e = 0; e < out.size(); ++e) out[e][i] = frame[e];
    }
    return out;
}

// Welch segments of about 4 s.
size_t SegmentFor(double rate_hz) {
    size_t n = 1;
    while (static_cast<double>(n) < 4 * rate_hz) n <<= 1;
    return n;
}

Spectrum MeanSpectrum(const Channels& channels, double rate_hz) {
    Spectrum mean;
    for (const auto& c : channels) mean.Add(simtest::Welch(c, rate_hz, SegmentFor(rate_hz)));
    mean.Scale(1.0 / static_cast<double>(channels.size()));
    return mean;
}

double AlphaPeakRatio(const Spectrum& s) {
    return s.Peak(8, 12) / ((s.Mean(6, 7) + s.Mean(14, 15)) / 2);
}

struct Headset {
    const char* name;
    int electrodes;
    double rate_hz;
    uint64_t seed;
};

TEST(EegSignal, OneMinute_HasAnAlphaPeakOverPinkBackgroundModestCorrelationAndEegAmplitudes) {
    const Headset cases[] = {{"SIM SOLA 101", 8, 250, 1},
                             {"SIM SOLA 101", 8, 250, 2},
                             {"SIM SOLA 101", 8, 250, 3},
                             {"SIM ZEM 202", 16, 1000, 1}};
    for (const Headset& h : cases) {
        SCOPED_TRACE(std::string(h.name) + " at " + std::to_string(h.rate_hz) + " Hz, seed " + std::to_string(h.seed));
        kxsim::EegSettings settings;
        settings.seed = h.seed;
        const Channels ch = Generate(settings, h.name, h.electrodes, h.rate_hz, 60);
        const Spectrum mean = MeanSpectrum(ch, h.rate_hz);

        double peak_hz = 0;
        mean.Peak(7, 13, &peak_hz);
        EXPECT_GE(peak_hz, 8.5);
        EXPECT_LE(peak_hz, 11.5);
        EXPECT_GE(AlphaPeakRatio(mean), 3.0);
        const double slope = mean.LogLogSlope(2, 40, 8, 12);
        EXPECT_GE(slope, -2.5);
        EXPECT_LE(slope, -0.5);

        std::vector<double> correlations;
        for (size_t a = 0; a < ch.size(); ++a)
            for (size_t b = a + 1; b < ch.size(); ++b)
                correlations.push_back(std::fabs(simtest::Correlation(ch[a], ch[b])));
        EXPECT_LT(simtest::Median(correlations), 0.5);
        // Neighbours share activity: no pair is independent, none a copy.
        EXPECT_GT(*std::min_element(correlations.begin(), correlations.end()), 0.0);
        EXPECT_LT(*std::max_element(correlations.begin(), correlations.end()), 0.9);

        std::vector<double> alpha;
        for (const auto& c : ch) {
            const double rms = simtest::Rms(c);
            EXPECT_GE(rms, 5.0);
            EXPECT_LE(rms, 100.0);
            alpha.push_back(simtest::Welch(c, h.rate_hz, SegmentFor(h.rate_hz)).Mean(8, 12));
        }
        // Alpha is strongest at the back, on the last pair.
        EXPECT_GT(alpha.back(), 3 * alpha.front());
        EXPECT_EQ(std::max_element(alpha.begin(), alpha.end()) - alpha.begin() >= static_cast<long>(ch.size()) - 2,
                  true);
    }
}

TEST(EegSignal, Alpha_WaxesAndWanesOverSeconds) {
    const Channels ch = Generate({}, "SIM SOLA 101", 8, 250, 60);
    std::vector<double> power;  // alpha power of the back electrode in 2 s windows
    for (size_t start = 0; start + 512 <= ch[7].size(); start += 512) {
        const std::vector<double> window(ch[7].begin() + static_cast<long>(start),
                                         ch[7].begin() + static_cast<long>(start + 512));
        power.push_back(simtest::Welch(window, 250, 256).Mean(8, 12));
    }
    EXPECT_GT(*std::max_element(power.begin(), power.end()), 4 * *std::min_element(power.begin(), power.end()));
}

TEST(EegSignal, SeedAndHeadset_ChangeTheValues_SameInputsRepeatThem) {
    const Channels base = Generate({}, "SIM SOLA 101", 8, 250, 2);
    EXPECT_EQ(Generate({}, "SIM SOLA 101", 8, 250, 2), base) << "same inputs, same floats";
    kxsim::EegSettings other_seed;
    other_seed.seed = 2;
    const Channels reseeded = Generate(other_seed, "SIM SOLA 101", 8, 250, 2);
    const Channels other_headset = Generate({}, "SIM SOLA 102", 8, 250, 2);
    for (size_t e = 0; e < 8; ++e) {
        EXPECT_LT(std::fabs(simtest::Correlation(base[e], reseeded[e])), 0.5) << "electrode " << e;
        EXPECT_LT(std::fabs(simtest::Correlation(base[e], other_headset[e])), 0.5) << "electrode " << e;
    }
    EXPECT_NE(base[0], base[1]) << "electrodes differ";
}

TEST(EegSignal, LineNoise_ShowsAsAPeakAtTheMainsFrequencyOnly) {
    const Spectrum without = MeanSpectrum(Generate({}, "SIM SOLA 101", 8, 250, 20), 250);
    for (int hz : {50, 60}) {
        SCOPED_TRACE(hz);
        kxsim::EegSettings settings;
        settings.line_noise_hz = hz;
        const Spectrum with = MeanSpectrum(Generate(settings, "SIM SOLA 101", 8, 250, 20), 250);
        double at = 0;
        const double peak = with.Peak(40, 70, &at);
        EXPECT_NEAR(at, hz, with.resolution_hz);
        EXPECT_GT(peak, 100 * without.Peak(40, 70));
        EXPECT_NEAR(with.Mean(8, 12), without.Mean(8, 12), 0.01 * without.Mean(8, 12)) << "alpha untouched";
    }
}

TEST(EegSignal, Blinks_AddBumpsToTheFirstChannelsAndLeaveTheBackAlone) {
    kxsim::EegSettings settings;
    settings.blinks_per_minute = 20;
    const Channels without = Generate({}, "SIM SOLA 101", 8, 250, 60);
    const Channels with = Generate(settings, "SIM SOLA 101", 8, 250, 60);
    // Count the blinks on the front electrode: excursions of the difference over 50 uV.
    int blinks = 0;
    bool above = false;
    double largest_front = 0, largest_third_pair = 0;
    for (size_t i = 0; i < with[0].size(); ++i) {
        const double d = with[0][i] - without[0][i];
        largest_front = std::max(largest_front, d);
        largest_third_pair = std::max(largest_third_pair, with[4][i] - without[4][i]);
        if (!above && d > 50) ++blinks;
        above = d > 50;
    }
    EXPECT_GE(blinks, 8);
    EXPECT_LE(blinks, 35);
    EXPECT_GT(largest_front, 70.0);
    EXPECT_LT(largest_third_pair, 0.2 * largest_front);
    EXPECT_EQ(with[6], without[6]);
    EXPECT_EQ(with[7], without[7]);
}

// ---- through the simulated stream -------------------------------------------

struct Recorded {
    std::mutex mu;
    std::vector<std::vector<float>> values;  // [position] all samples so far
    std::vector<uint8_t> types;

    static void OnChunk(const void* const* data, size_t samples, void* user) {
        auto* self = static_cast<Recorded*>(user);
        std::lock_guard<std::mutex> lk(self->mu);
        for (size_t p = 0; p < self->values.size(); ++p) {
            for (size_t i = 0; i < samples; ++i) {
                const float v = self->types.size() > p && self->types[p] == KX_DATA_TYPE_FLOAT64
                                    ? static_cast<float>(static_cast<const double*>(data[p])[i])
                                    : static_cast<const float*>(data[p])[i];
                self->values[p].push_back(v);
            }
        }
    }
};

// Streams `chunks` manual chunks from the named headset with only `enabled` on.
std::vector<std::vector<float>> Stream(const char* name, int rate_code, const std::vector<int>& enabled, int chunks,
                                       const std::vector<uint8_t>& types = {}) {
    kxsim::SetManualStream(true);
    kx_eeg_manager* m = simtest::Connected(name);
    EXPECT_NE(m, nullptr);
    if (!m) return {};
    EXPECT_EQ(kx_eeg_manager_set_data_stream_rate(m, static_cast<uint8_t>(rate_code)), KX_ERROR_OK);
    for (int e = 0; kxsim::ChannelGain(e) >= 0; ++e)
        kx_eeg_manager_set_channel_enabled(m, static_cast<uint16_t>(e),
                                           std::find(enabled.begin(), enabled.end(), e) != enabled.end());
    Recorded r;
    r.values.resize(enabled.size());
    r.types = types;
    kx_eeg_manager_set_callback_chunk(m, Recorded::OnChunk, &r);
    EXPECT_EQ(kx_eeg_manager_start_stream(m, nullptr, nullptr), KX_ERROR_OK);
    EXPECT_TRUE(kxsim::EmitChunks(chunks));
    kx_eeg_manager_free(m);
    return r.values;
}

using SignalStreamTest = SimTest;

TEST_F(SignalStreamTest, Chunks_CarryTheGeneratorsFloatsBitForBitWhateverTheChunkSizeRateOrEnabledSet) {
    struct Case {
        const char* name;
        int electrodes;
        int rate_code;
        double rate_hz;
        std::vector<int> enabled;
    };
    const Case cases[] = {{"SIM SOLA 101", 8, KX_RATE_250, 250, {0, 1, 2, 3, 4, 5, 6, 7}},
                          {"SIM ZEM 202", 16, KX_RATE_1000, 1000, {1, 5, 15}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto streamed = Stream(c.name, c.rate_code, c.enabled, 12);
        const Channels expected = Generate(kxsim::EegSettings{}, c.name, c.electrodes, c.rate_hz, 2);
        ASSERT_EQ(streamed.size(), c.enabled.size());
        for (size_t p = 0; p < streamed.size(); ++p) {
            ASSERT_GE(streamed[p].size(), 12u * 25u);
            for (size_t i = 0; i < streamed[p].size(); ++i)
                ASSERT_EQ(streamed[p][i], expected[static_cast<size_t>(c.enabled[p])][i])
                    << "position " << p << " sample " << i;
        }
    }
    // The same headset cut into packets of 7 and of 32 samples streams the same values.
    std::vector<kxsim::Headset> headsets = kxsim::DefaultHeadsets();
    headsets.resize(1);
    headsets[0].sample_per_packet = 7;
    kxsim::SetHeadsets(headsets);
    const auto small = Stream("SIM SOLA 101", KX_RATE_250, {0, 7}, 20);
    headsets[0].sample_per_packet = 32;
    kxsim::SetHeadsets(headsets);
    const auto large = Stream("SIM SOLA 101", KX_RATE_250, {0, 7}, 5);
    ASSERT_EQ(small[1].size(), 140u);
    EXPECT_EQ(small[1], std::vector<float>(large[1].begin(), large[1].begin() + 140));
    EXPECT_EQ(small[0], std::vector<float>(large[0].begin(), large[0].begin() + 140));
}

TEST_F(SignalStreamTest, SettingsFromTheScenario_ReachTheNextStreamAndFloat64ChannelsCarryTheSameFloats) {
    ASSERT_TRUE(
        kxsim::LoadScenarioText("stream seed 42\nstream line_noise 60\nstream blinks 12.5\nstream types 3 0\n"));
    const kxsim::EegSettings settings = kxsim::CurrentEegSettings();
    EXPECT_EQ(settings.seed, 42u);
    EXPECT_EQ(settings.line_noise_hz, 60);
    EXPECT_EQ(settings.blinks_per_minute, 12.5);
    const auto streamed = Stream("SIM SOLA 101", KX_RATE_250, {2, 3}, 4, {KX_DATA_TYPE_FLOAT64, KX_DATA_TYPE_FLOAT32});
    const Channels expected = Generate(settings, "SIM SOLA 101", 8, 250, 1);
    ASSERT_EQ(streamed.size(), 2u);
    for (size_t i = 0; i < 100; ++i) {
        ASSERT_EQ(streamed[0][i], expected[2][i]) << i;
        ASSERT_EQ(streamed[1][i], expected[3][i]) << i;
    }
}

TEST_F(SignalStreamTest, RestartedStream_StartsTheSignalAgainAndRampIsThereOnRequest) {
    const auto first = Stream("SIM SOLA 101", KX_RATE_250, {0}, 2);
    const auto again = Stream("SIM SOLA 101", KX_RATE_250, {0}, 2);
    EXPECT_EQ(first, again);
    ASSERT_TRUE(kxsim::LoadScenarioText("stream signal ramp\n"));
    const auto ramp = Stream("SIM SOLA 101", KX_RATE_250, {0, 1}, 1);
    EXPECT_EQ(ramp[1][3], kxsim::RampSample(1, 3));
    ASSERT_TRUE(kxsim::LoadScenarioText("stream signal eeg\n"));
    EXPECT_EQ(Stream("SIM SOLA 101", KX_RATE_250, {0}, 2), first);
}

TEST_F(SignalStreamTest, BadSignalSettings_AreRefusedAndRecorded) {
    EXPECT_FALSE(
        kxsim::LoadScenarioText("stream signal noise\nstream line_noise 55\nstream blinks -1\nstream blinks "
                                "many\nstream seed x\nstream replay\n"));
    EXPECT_EQ(kxsim::Violations().size(), 6u);
    kxsim::ClearViolations();
    kxsim::EegSettings bad;
    bad.line_noise_hz = 55;
    EXPECT_THROW(kxsim::SetEegSettings(bad), std::invalid_argument);
    EXPECT_THROW(kxsim::SetSignal(kxsim::SignalKind::kReplay), std::invalid_argument) << "no file given";
    EXPECT_EQ(kxsim::Violations().size(), 2u);
    kxsim::ClearViolations();
    EXPECT_EQ(kxsim::CurrentEegSettings().line_noise_hz, 0);
    EXPECT_THROW(kxsim::EegGenerator({}, "SIM SOLA 101", 8, 0), std::invalid_argument);
}

}  // namespace
