// The EEG-like signal of the simulated headsets.
//
// Every random number comes from a counter-based hash of (seed, headset,
// source, sample index), so a value never depends on how the stream was cut
// into chunks. Noise sources are shaped by fixed filters defined in hertz and
// stepped one sample at a time:
//   pink   a cascade of first-order pole-zero sections, poles spaced a third
//          of a decade apart from 0.25 Hz, each zero placed so the power
//          falls as 1/f^1.4, then a lowpass at 120 Hz; scaled so that its
//          power density at 10 Hz is the same at every rate.
//   alpha  a two-pole resonator (bandwidth 1.2 Hz) near 10 Hz, its amplitude
//          modulated by a slowly varying envelope.
// The electrodes sit in pairs from front to back (0/1 in front, the last
// pair at the back); each mixes its own pink noise, pink noise shared by the
// whole head and by its region, and two alpha sources weighted towards the
// back.
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <stdexcept>
#include <vector>

#include "kxsim.h"

namespace kxsim {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Power density (uV^2/Hz) at 10 Hz of the whole background, and its shares.
constexpr double kBackgroundDensity = 2.5;
constexpr double kPrivateShare = 0.55;
constexpr double kGlobalShare = 0.15;
constexpr double kRegionalShare = 0.30;
constexpr double kPinkExponent = 1.4;
constexpr double kFirstPoleHz = 0.25;
constexpr double kLastPoleHz = 80.0;
constexpr double kLowpassHz = 120.0;

constexpr double kAlphaBandwidthHz = 1.2;
constexpr double kAlphaRmsUv = 11.0;        // on the back pair, with the envelope at 1
constexpr double kAlphaFrontWeight = 0.25;  // relative weight on the front pair
constexpr double kEnvelopeHz = 0.2;
constexpr double kEnvelopeDepth = 0.6;

constexpr double kLineAmplitudeUv = 10.0;    // peak, varied +-30 % between electrodes
constexpr double kBlinkAmplitudeUv = 100.0;  // peak on the front pair, varied +-20 % per blink
constexpr double kBlinkSeconds = 0.4;
constexpr double kBlinkRowWeights[] = {1.0, 0.35, 0.1};

constexpr int kRegions = 4;
constexpr double kRegionX[kRegions] = {-0.3, 0.3, -0.3, 0.3};
constexpr double kRegionY[kRegions] = {0.2, 0.2, 0.8, 0.8};
constexpr double kRegionRadius = 0.5;

// Source numbers in the hash; electrodes use their own index.
enum Source : uint64_t {
    kGlobal = 1000,
    kRegion0 = 1001,
    kAlpha0 = 1100,
    kEnvelope0 = 1200,
    kBlink = 1300,
    kElectrodeTraits = 1400,
    kAlphaTraits = 1500,
};

// Standard deviation of a sum of four uniforms on 0..65535, inverted.
const double kNormalScale = 1.0 / std::sqrt(4.0 * (65536.0 * 65536.0 - 1.0) / 12.0);

double PositiveRate(double rate_hz) {
    if (!(rate_hz > 0) || !std::isfinite(rate_hz)) throw std::invalid_argument("kxsim: the EEG rate must be positive");
    return rate_hz;
}

uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t HashText(const std::string& text) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (unsigned char c : text) h = (h ^ c) * 0x100000001B3ull;
    return h;
}

// The random numbers of one source: each a pure function of (key, index).
class Counter {
public:
    Counter() = default;
    Counter(uint64_t base, uint64_t source) : key_(Mix(base ^ Mix(source + 0x9E3779B97F4A7C15ull))) {}
    uint64_t Bits(uint64_t index) const { return Mix(key_ + (index + 1) * 0x9E3779B97F4A7C15ull); }
    // Unit variance, zero mean: a sum of four 16-bit uniforms.
    double Normal(uint64_t index) const {
        const uint64_t h = Bits(index);
        const double sum = static_cast<double>((h & 0xFFFF) + ((h >> 16) & 0xFFFF) + ((h >> 32) & 0xFFFF) + (h >> 48));
        return (sum - 131070.0) * kNormalScale;
    }
    double Uniform(uint64_t index) const { return static_cast<double>(Bits(index) >> 11) * 0x1.0p-53; }

private:
    uint64_t key_ = 0;
};

struct Section {
    double pole = 0;
    double zero = 0;
};

// The pink-noise filter bank of one rate; its unit-variance white input gives
// a power density of 1 uV^2/Hz at 10 Hz.
struct PinkBank {
    std::vector<Section> sections;
    double input_scale = 1;

    explicit PinkBank(double rate_hz) {
        const double step = std::pow(10.0, 1.0 / 3.0);
        for (double f = kFirstPoleHz; f <= kLastPoleHz; f *= step)
            sections.push_back({std::exp(-2 * kPi * f / rate_hz),
                                std::exp(-2 * kPi * f * std::pow(step, kPinkExponent / 2) / rate_hz)});
        sections.push_back({std::exp(-2 * kPi * kLowpassHz / rate_hz), -1.0});
        const std::complex<double> z1 = std::polar(1.0, -2 * kPi * 10.0 / rate_hz);
        double gain = 1;
        for (const Section& s : sections) gain *= std::abs(1.0 - s.zero * z1) / std::abs(1.0 - s.pole * z1);
        // One-sided density of unit white noise at rate fs is 2 / fs.
        input_scale = std::sqrt(rate_hz / 2) / gain;
    }
};

// One source's filter state: the previous input and each section's previous output.
struct PinkState {
    double previous_input = 0;
    std::vector<double> outputs;

    double Step(const PinkBank& bank, double white) {
        double in = white * bank.input_scale;
        double in_previous = previous_input;
        previous_input = in;
        for (size_t k = 0; k < bank.sections.size(); ++k) {
            const double out = in - bank.sections[k].zero * in_previous + bank.sections[k].pole * outputs[k];
            in_previous = outputs[k];
            outputs[k] = out;
            in = out;
        }
        return in;
    }
};

// Narrow-band noise of unit variance around one frequency.
struct Resonator {
    double a1 = 0, a2 = 0, input_scale = 0;
    double y1 = 0, y2 = 0;

    Resonator(double frequency_hz, double rate_hz) {
        const double r = std::exp(-kPi * kAlphaBandwidthHz / rate_hz);
        a1 = 2 * r * std::cos(2 * kPi * frequency_hz / rate_hz);
        a2 = -r * r;
        // Stationary variance of this AR(2) process for unit white input.
        const double variance = (1 - a2) / ((1 + a2) * ((1 - a2) * (1 - a2) - a1 * a1));
        input_scale = 1 / std::sqrt(variance);
    }
    double Step(double white) {
        const double y = a1 * y1 + a2 * y2 + input_scale * white;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Slow unit-variance noise (one pole), started in its stationary state.
struct Envelope {
    double c = 0, input_scale = 0, value = 0;
    bool started = false;

    explicit Envelope(double rate_hz)
        : c(std::exp(-2 * kPi * kEnvelopeHz / rate_hz)), input_scale(std::sqrt(1 - c * c)) {}
    double Step(double white) {
        value = started ? c * value + input_scale * white : white;
        started = true;
        return std::max(0.0, 1 + kEnvelopeDepth * value);
    }
};

struct Blink {
    uint64_t start = 0;
    double amplitude = 0;
};

}  // namespace

struct EegGenerator::State {
    State(const EegSettings& settings, const std::string& headset_name, int electrode_count, double rate)
        : electrodes(std::max(0, electrode_count)),
          rate_hz(PositiveRate(rate)),
          bank(rate),
          envelopes{Envelope(rate), Envelope(rate)} {
        const uint64_t base = Mix(settings.seed ^ Mix(HashText(headset_name) + static_cast<uint64_t>(electrodes)));
        global = Counter(base, kGlobal);
        for (int k = 0; k < kRegions; ++k) regions[k] = Counter(base, kRegion0 + k);
        const Counter alpha_traits(base, kAlphaTraits);
        const double alpha_hz = 9.2 + 1.4 * alpha_traits.Uniform(0);
        const double alpha_offsets[2] = {0.0, 0.5};
        for (int j = 0; j < 2; ++j) {
            alpha[j] = Counter(base, kAlpha0 + j);
            envelope_noise[j] = Counter(base, kEnvelope0 + j);
            resonators.emplace_back(alpha_hz + alpha_offsets[j], rate);
        }
        blink = Counter(base, kBlink);
        line_hz = settings.line_noise_hz;
        blink_chance = settings.blinks_per_minute > 0 ? settings.blinks_per_minute / (60.0 * rate) : 0.0;
        blink_samples = static_cast<uint64_t>(std::llround(kBlinkSeconds * rate));

        global_state.outputs.assign(bank.sections.size(), 0.0);
        region_states.assign(kRegions, global_state);
        const int rows = (electrodes + 1) / 2;
        const Counter traits(base, kElectrodeTraits);
        for (int e = 0; e < electrodes; ++e) {
            Electrode el;
            el.noise = Counter(base, static_cast<uint64_t>(e));
            el.pink.outputs.assign(bank.sections.size(), 0.0);
            const int row = e / 2;
            const double y = rows > 1 ? static_cast<double>(row) / (rows - 1) : 0.0;
            const double x = (electrodes % 2 == 1 && e == electrodes - 1) ? 0.0 : (e % 2 == 0 ? -0.5 : 0.5);

            el.private_gain = std::sqrt(kBackgroundDensity * kPrivateShare);
            el.global_gain = std::sqrt(kBackgroundDensity * kGlobalShare);
            double norm = 0;
            for (int k = 0; k < kRegions; ++k) {
                const double dx = x - kRegionX[k], dy = y - kRegionY[k];
                el.region_gains[k] = std::exp(-(dx * dx + dy * dy) / (2 * kRegionRadius * kRegionRadius));
                norm += el.region_gains[k] * el.region_gains[k];
            }
            for (double& g : el.region_gains) g *= std::sqrt(kBackgroundDensity * kRegionalShare / norm);

            const double back = kAlphaFrontWeight + (1 - kAlphaFrontWeight) * y * y;
            el.alpha_gains[0] = kAlphaRmsUv * back * (x <= 0 ? 0.8 : 0.45);
            el.alpha_gains[1] = kAlphaRmsUv * back * (x >= 0 ? 0.8 : 0.45);

            const double amplitude = kLineAmplitudeUv * (0.7 + 0.6 * traits.Uniform(2 * static_cast<uint64_t>(e)));
            const double phase = 0.4 * (traits.Uniform(2 * static_cast<uint64_t>(e) + 1) - 0.5);
            el.line_sin = amplitude * std::cos(phase);
            el.line_cos = amplitude * std::sin(phase);
            el.blink_gain = row < 3 ? kBlinkRowWeights[row] : 0.0;
            electrode_list.push_back(std::move(el));
        }
    }

    void Next(float* frame) {
        const uint64_t n = index++;
        const double shared = global_state.Step(bank, global.Normal(n));
        std::array<double, kRegions> regional{};
        for (int k = 0; k < kRegions; ++k) regional[k] = region_states[k].Step(bank, regions[k].Normal(n));
        double alpha_now[2];
        for (int j = 0; j < 2; ++j)
            alpha_now[j] = resonators[j].Step(alpha[j].Normal(n)) * envelopes[j].Step(envelope_noise[j].Normal(n));

        double line_s = 0, line_c = 0;
        if (line_hz > 0) {
            // The phase from an exact remainder, so it never drifts over long streams.
            const double turn = std::fmod(static_cast<double>(line_hz) * static_cast<double>(n), rate_hz) / rate_hz;
            line_s = std::sin(2 * kPi * turn);
            line_c = std::cos(2 * kPi * turn);
        }
        const double blink_now = BlinkAt(n);

        for (int e = 0; e < electrodes; ++e) {
            Electrode& el = electrode_list[static_cast<size_t>(e)];
            double v = el.private_gain * el.pink.Step(bank, el.noise.Normal(n)) + el.global_gain * shared;
            for (int k = 0; k < kRegions; ++k) v += el.region_gains[k] * regional[k];
            v += el.alpha_gains[0] * alpha_now[0] + el.alpha_gains[1] * alpha_now[1];
            v += el.line_sin * line_s + el.line_cos * line_c;
            v += el.blink_gain * blink_now;
            frame[e] = static_cast<float>(v);
        }
    }

    // The summed blink waveform at sample n; starts new blinks as they fall due.
    double BlinkAt(uint64_t n) {
        if (blink_chance <= 0 || blink_samples == 0) return 0;
        if (blink.Uniform(2 * n) < blink_chance)
            blinks.push_back({n, kBlinkAmplitudeUv * (0.8 + 0.4 * blink.Uniform(2 * n + 1))});
        double sum = 0;
        for (const Blink& b : blinks) {
            const double t = static_cast<double>(n - b.start) / static_cast<double>(blink_samples);
            sum += b.amplitude * 0.5 * (1 - std::cos(2 * kPi * t));
        }
        blinks.erase(std::remove_if(blinks.begin(), blinks.end(),
                                    [&](const Blink& b) { return n - b.start + 1 >= blink_samples; }),
                     blinks.end());
        return sum;
    }

    struct Electrode {
        Counter noise;
        PinkState pink;
        double private_gain = 0, global_gain = 0;
        std::array<double, kRegions> region_gains{};
        std::array<double, 2> alpha_gains{};
        double line_sin = 0, line_cos = 0;
        double blink_gain = 0;
    };

    int electrodes;
    double rate_hz;
    uint64_t index = 0;
    PinkBank bank;
    Counter global;
    std::array<Counter, kRegions> regions;
    std::array<Counter, 2> alpha;
    std::array<Counter, 2> envelope_noise;
    std::vector<Resonator> resonators;
    std::array<Envelope, 2> envelopes;
    Counter blink;
    int line_hz = 0;
    double blink_chance = 0;
    uint64_t blink_samples = 0;
    std::vector<Blink> blinks;
    PinkState global_state;
    std::vector<PinkState> region_states;
    std::vector<Electrode> electrode_list;
};

EegGenerator::EegGenerator(const EegSettings& settings, const std::string& headset_name, int electrodes, double rate_hz)
    : state_(std::make_unique<State>(settings, headset_name, electrodes, rate_hz)) {}
EegGenerator::~EegGenerator() = default;
EegGenerator::EegGenerator(EegGenerator&&) noexcept = default;
EegGenerator& EegGenerator::operator=(EegGenerator&&) noexcept = default;

int EegGenerator::Electrodes() const {
    return state_->electrodes;
}
uint64_t EegGenerator::Index() const {
    return state_->index;
}
void EegGenerator::Next(float* frame) {
    state_->Next(frame);
}

}  // namespace kxsim
