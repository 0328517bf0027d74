// The simulated SDK's EEG-like signal: how fast it is produced, against the
// rate the fastest headset needs, so that the simulator never limits a
// benchmark or a test that streams through it.
#include "bench/sections.h"

#include "kxsim.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kxbench {
namespace {

constexpr int kChannels = 64;
constexpr double kRateHz = 16000;
constexpr int kFrames = 16000;  // one second of the fastest headset
constexpr int kTrials = 9;

double TrialGenerator() {
    kxsim::EegSettings settings;
    settings.line_noise_hz = 50;
    settings.blinks_per_minute = 20;
    kxsim::EegGenerator eeg(settings, "SIM BENCH", kChannels, kRateHz);
    std::vector<float> frame(kChannels);
    const auto start = Clock::now();
    for (int i = 0; i < kFrames; ++i) {
        eeg.Next(frame.data());
        KeepAlive(frame.data());
    }
    return SecondsSince(start);
}

}  // namespace

void BenchSimulatedSignal(Report& report) {
    TrialGenerator();  // warm-up
    std::vector<double> seconds;
    for (int i = 0; i < kTrials; ++i) seconds.push_back(TrialGenerator());
    const double per_second = Median(seconds);  // seconds to generate one second of stream
    report.AtLeast("simulated EEG signal with line noise and blinks, " + std::to_string(kChannels) +
                       " channels, against the fastest headset (16000 Hz x 64 channels)",
                   1.0 / per_second, 10.0);
    report.Note(Format(per_second * 1e9 / (kFrames * kChannels), 1) + " ns per channel sample");
}

}  // namespace kxbench
