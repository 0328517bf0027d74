// Replay: the headset streams a recording written here with EDFlib.
#include <edflib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "sim_test_util.h"

namespace {

using simtest::SimTest;

struct SignalSpec {
    const char* label;
    int rate_hz;
    const char* unit;
    double physical_min, physical_max;
};

// A recording of whole seconds whose digital samples jump around their range,
// so that a sample read from the wrong place cannot pass for the right one.
class Recording {
public:
    Recording(const std::string& path, int filetype, std::vector<SignalSpec> signals, int seconds)
        : path_(path), signals_(std::move(signals)) {
        const bool bdf = filetype == EDFLIB_FILETYPE_BDFPLUS;
        digital_max_ = bdf ? 8388607 : 32767;
        const int handle = edfopen_file_writeonly(path.c_str(), filetype, static_cast<int>(signals_.size()));
        if (handle < 0) throw std::runtime_error("cannot write " + path);
        for (size_t s = 0; s < signals_.size(); ++s) {
            const int sig = static_cast<int>(s);
            edf_set_samplefrequency(handle, sig, signals_[s].rate_hz);
            edf_set_physical_minimum(handle, sig, signals_[s].physical_min);
            edf_set_physical_maximum(handle, sig, signals_[s].physical_max);
            edf_set_digital_minimum(handle, sig, -digital_max_ - 1);
            edf_set_digital_maximum(handle, sig, digital_max_);
            edf_set_label(handle, sig, signals_[s].label);
            edf_set_physical_dimension(handle, sig, signals_[s].unit);
        }
        for (int second = 0; second < seconds; ++second) {
            for (size_t s = 0; s < signals_.size(); ++s) {
                std::vector<int> block(static_cast<size_t>(signals_[s].rate_hz));
                for (size_t i = 0; i < block.size(); ++i)
                    block[i] = Digital(s, static_cast<uint64_t>(second) * block.size() + i);
                if (edfwrite_digital_samples(handle, block.data()) != 0) throw std::runtime_error("write failed");
            }
        }
        edfclose_file(handle);
        samples_ = static_cast<uint64_t>(seconds) * static_cast<uint64_t>(signals_.front().rate_hz);
    }
    ~Recording() { std::remove(path_.c_str()); }

    // Physical value of signal s at sample i in the file's unit, and one digital step.
    double Physical(size_t s, uint64_t i) const {
        const SignalSpec& sig = signals_[s];
        return sig.physical_min + (Digital(s, i % samples_) + digital_max_ + 1.0) * Step(s);
    }
    double Step(size_t s) const {
        return (signals_[s].physical_max - signals_[s].physical_min) / (2.0 * digital_max_ + 1.0);
    }
    const std::string& path() const { return path_; }

private:
    int Digital(size_t s, uint64_t i) const {
        const uint64_t span = 2ull * static_cast<uint64_t>(digital_max_) + 2;
        return static_cast<int>((i * 7919u + s * 104729u) % span) - digital_max_ - 1;
    }

    std::string path_;
    std::vector<SignalSpec> signals_;
    int digital_max_ = 0;
    uint64_t samples_ = 0;
};

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "kxsim_" + std::to_string(::getpid()) + "_" + name;
}

struct Streamed {
    std::mutex mu;
    std::vector<std::vector<float>> values;
    static void OnChunk(const void* const* data, size_t samples, void* user) {
        auto* self = static_cast<Streamed*>(user);
        std::lock_guard<std::mutex> lk(self->mu);
        for (size_t p = 0; p < self->values.size(); ++p)
            for (size_t i = 0; i < samples; ++i) self->values[p].push_back(static_cast<const float*>(data[p])[i]);
    }
};

class ReplayTest : public SimTest {
protected:
    // Connects to the default headset (25 samples per packet) and streams
    // `chunks` chunks from `positions` channel positions.
    std::vector<std::vector<float>> Stream(size_t positions, int chunks, const std::vector<int>& disabled = {}) {
        kxsim::SetManualStream(true);
        kx_eeg_manager* m = simtest::Connected();
        EXPECT_NE(m, nullptr);
        if (!m) return {};
        for (int e : disabled) kx_eeg_manager_set_channel_enabled(m, static_cast<uint16_t>(e), false);
        Streamed s;
        s.values.resize(positions);
        kx_eeg_manager_set_callback_chunk(m, Streamed::OnChunk, &s);
        EXPECT_EQ(kx_eeg_manager_start_stream(m, nullptr, nullptr), KX_ERROR_OK);
        EXPECT_TRUE(kxsim::EmitChunks(chunks));
        kx_eeg_manager_free(m);
        return s.values;
    }
};

TEST_F(ReplayTest, BdfFile_StreamsEveryChannelAtTheFilesRateLoopingAtItsEnd) {
    const Recording rec(TempPath("three.bdf"), EDFLIB_FILETYPE_BDFPLUS,
                        {{"Fp1", 500, "uV", -8000, 8000}, {"Cz", 500, "uV", -8000, 8000}, {"O2", 500, "uV", -400, 600}},
                        2);
    ASSERT_TRUE(kxsim::SetReplayFile(rec.path()));
    const kxsim::ReplayInfo info = kxsim::CurrentReplay();
    EXPECT_EQ(info.labels, (std::vector<std::string>{"Fp1", "Cz", "O2"}));
    EXPECT_EQ(info.file_rate_hz, 500);
    EXPECT_EQ(info.rate_code, KX_RATE_500);
    EXPECT_EQ(info.samples, 1000u);

    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    kx_device_features features = kx_core_device_features_get(kx_eeg_manager_get_device_info(m));
    EXPECT_EQ(kx_core_device_features_electrode_count(features), 3);
    EXPECT_EQ(kx_eeg_manager_get_sample_frequency(m), KX_RATE_500);
    EXPECT_EQ(kx_eeg_manager_set_data_stream_rate(m, KX_RATE_250), KX_ERROR_WRONG_VALUE) << "the file has one rate";
    EXPECT_EQ(kx_eeg_manager_set_data_stream_rate(m, KX_RATE_500), KX_ERROR_OK);
    kx_eeg_manager_free(m);

    const auto streamed = Stream(3, 48);  // 1200 samples: the file once and a fifth again
    for (size_t p = 0; p < 3; ++p) {
        ASSERT_EQ(streamed[p].size(), 1200u);
        for (uint64_t i = 0; i < 1200; ++i)
            ASSERT_NEAR(streamed[p][i], rec.Physical(p, i), rec.Step(p)) << "channel " << p << " sample " << i;
        EXPECT_EQ(streamed[p][1000], streamed[p][0]);
    }
    EXPECT_TRUE(kxsim::Violations().empty());
}

TEST_F(ReplayTest, EdfFile_UnitsBecomeMicrovoltsAndAnOffTableRateStreamsAtTheNearest) {
    const Recording rec(TempPath("units.edf"), EDFLIB_FILETYPE_EDFPLUS,
                        {{"mV", 256, "mV", -5, 5},
                         {"V", 256, "V", -0.002, 0.002},
                         {"nV", 256, "nV", -9e4, 9e4},
                         {"deg", 256, "degC", 30, 40}},
                        1);
    ASSERT_TRUE(kxsim::SetReplayFile(rec.path()));
    EXPECT_EQ(kxsim::CurrentReplay().rate_code, KX_RATE_250);
    const auto streamed = Stream(4, 10);
    const double to_uv[] = {1e3, 1e6, 1e-3, 1};
    for (size_t p = 0; p < 4; ++p) {
        for (uint64_t i = 0; i < 250; ++i)
            ASSERT_NEAR(streamed[p][i], rec.Physical(p, i) * to_uv[p], rec.Step(p) * to_uv[p]) << p << " " << i;
    }
}

TEST_F(ReplayTest, SignalsAtAnotherRateAreLeftOutAndDisabledElectrodesAreNotStreamed) {
    const Recording rec(TempPath("mixed.edf"), EDFLIB_FILETYPE_EDFPLUS,
                        {{"C3", 250, "uV", -500, 500}, {"Resp", 125, "uV", -500, 500}, {"C4", 250, "uV", -500, 500}},
                        1);
    ASSERT_TRUE(kxsim::SetReplayFile(rec.path()));
    EXPECT_EQ(kxsim::CurrentReplay().labels, (std::vector<std::string>{"C3", "C4"}));
    const auto streamed = Stream(1, 2, {0});
    ASSERT_EQ(streamed[0].size(), 50u);
    for (uint64_t i = 0; i < 50; ++i) ASSERT_NEAR(streamed[0][i], rec.Physical(2, i), rec.Step(2)) << i;
}

// Another program's header: numbers right-aligned behind spaces, and a
// digital range narrower than the samples stored, which stream as stored.
TEST_F(ReplayTest, ForeignHeaderAndSamplesOutsideTheDigitalRange_StreamUnclamped) {
    const Recording rec(TempPath("foreign.edf"), EDFLIB_FILETYPE_EDFPLUS, {{"Fz", 250, "uV", -500, 500}}, 1);
    {
        std::fstream f(rec.path(), std::ios::in | std::ios::out | std::ios::binary);
        const long digital_min = 256 + 2 * 120, digital_max = 256 + 2 * 128, records = 236;
        f.seekp(digital_min) << "   -1000";
        f.seekp(digital_max) << "    1000";
        f.seekp(records) << "       1";
    }
    ASSERT_TRUE(kxsim::SetReplayFile(rec.path()));
    const auto streamed = Stream(1, 10);
    size_t outside = 0;
    for (uint64_t i = 0; i < 250; ++i) {
        const double digital = std::round((rec.Physical(0, i) + 500) / rec.Step(0)) - 32768;
        ASSERT_NEAR(streamed[0][i], digital * 0.5, 1e-3) << i;
        outside += std::fabs(digital) > 1000;
    }
    EXPECT_GT(outside, 200u);
}

TEST_F(ReplayTest, UnusableFile_IsAViolationAndTheSignalStays) {
    const std::string text = TempPath("not_a_recording.bdf");
    std::ofstream(text) << "hello\n";
    EXPECT_FALSE(kxsim::SetReplayFile(text));
    EXPECT_FALSE(kxsim::SetReplayFile(TempPath("missing.edf")));
    std::remove(text.c_str());
    EXPECT_EQ(kxsim::Violations().size(), 2u);
    kxsim::ClearViolations();
    EXPECT_EQ(kxsim::CurrentReplay().path, "");
    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(kx_core_device_features_electrode_count(kx_core_device_features_get(kx_eeg_manager_get_device_info(m))),
              8);
    kx_eeg_manager_free(m);
}

TEST_F(ReplayTest, ScenarioPath_IsTakenRelativeToTheScenarioFile) {
    const Recording rec(TempPath("relative.bdf"), EDFLIB_FILETYPE_BDFPLUS, {{"Oz", 1000, "uV", -100, 100}}, 1);
    const std::string scenario = TempPath("replay.scenario");
    const std::string name = rec.path().substr(rec.path().find_last_of('/') + 1);
    std::ofstream(scenario) << "# a recording beside this file\nstream replay " << name << "\n";
    EXPECT_TRUE(kxsim::LoadScenarioFile(scenario));
    std::remove(scenario.c_str());
    EXPECT_EQ(kxsim::CurrentReplay().path, rec.path());
    EXPECT_EQ(kxsim::CurrentReplay().rate_code, KX_RATE_1000);
    const auto streamed = Stream(1, 1);
    EXPECT_NEAR(streamed[0][24], rec.Physical(0, 24), rec.Step(0));
    // A reset forgets the file: the default headset and signal again.
    kxsim::Reset();
    EXPECT_EQ(kxsim::CurrentReplay().path, "");
}

}  // namespace
