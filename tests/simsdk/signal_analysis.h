// Spectra and statistics for the simulator's signal tests: Welch's averaged
// periodogram (Hann window, half overlap), band powers, log-log slopes,
// correlation and RMS.
#ifndef KX_TESTS_SIMSDK_SIGNAL_ANALYSIS_H
#define KX_TESTS_SIMSDK_SIGNAL_ANALYSIS_H

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <stdexcept>
#include <vector>

namespace simtest {

// In-place radix-2 FFT; the size must be a power of two.
inline void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    if (n == 0 || (n & (n - 1)) != 0) throw std::invalid_argument("FFT size must be a power of two");
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * M_PI / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

struct Spectrum {
    double resolution_hz = 0;
    std::vector<double> density;  // one-sided, units^2 / Hz, bin k at k * resolution_hz

    double At(size_t k) const { return density.at(k); }
    // Bins whose frequency lies in [lo, hi].
    template <typename F>
    void ForBand(double lo, double hi, F f) const {
        for (size_t k = 0; k < density.size(); ++k) {
            const double hz = static_cast<double>(k) * resolution_hz;
            if (hz >= lo && hz <= hi) f(hz, density[k]);
        }
    }
    double Mean(double lo, double hi) const {
        double sum = 0;
        int count = 0;
        ForBand(lo, hi, [&](double, double p) { sum += p, ++count; });
        return count ? sum / count : 0;
    }
    double Peak(double lo, double hi, double* at_hz = nullptr) const {
        double best = 0;
        ForBand(lo, hi, [&](double hz, double p) {
            if (p > best) {
                best = p;
                if (at_hz) *at_hz = hz;
            }
        });
        return best;
    }
    // Least-squares slope of log10(power) over log10(frequency) in [lo, hi],
    // leaving out [skip_lo, skip_hi].
    double LogLogSlope(double lo, double hi, double skip_lo, double skip_hi) const {
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        int n = 0;
        ForBand(lo, hi, [&](double hz, double p) {
            if (hz >= skip_lo && hz <= skip_hi) return;
            const double x = std::log10(hz), y = std::log10(p);
            sx += x, sy += y, sxx += x * x, sxy += x * y, ++n;
        });
        return (n * sxy - sx * sy) / (n * sxx - sx * sx);
    }
    void Add(const Spectrum& other) {
        if (density.empty())
            *this = other;
        else
            for (size_t k = 0; k < density.size(); ++k) density[k] += other.density[k];
    }
    void Scale(double factor) {
        for (double& p : density) p *= factor;
    }
};

inline Spectrum Welch(const std::vector<double>& x, double rate_hz, size_t segment) {
    std::vector<double> window(segment);
    double window_power = 0;
    for (size_t i = 0; i < segment; ++i) {
        window[i] = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / static_cast<double>(segment));
        window_power += window[i] * window[i];
    }
    Spectrum s;
    s.resolution_hz = rate_hz / static_cast<double>(segment);
    s.density.assign(segment / 2 + 1, 0.0);
    int segments = 0;
    std::vector<std::complex<double>> a(segment);
    for (size_t start = 0; start + segment <= x.size(); start += segment / 2, ++segments) {
        double mean = 0;
        for (size_t i = 0; i < segment; ++i) mean += x[start + i];
        mean /= static_cast<double>(segment);
        for (size_t i = 0; i < segment; ++i) a[i] = (x[start + i] - mean) * window[i];
        Fft(a);
        for (size_t k = 0; k <= segment / 2; ++k) {
            const double both_sides = (k == 0 || k == segment / 2) ? 1.0 : 2.0;
            s.density[k] += both_sides * std::norm(a[k]) / (rate_hz * window_power);
        }
    }
    if (segments == 0) throw std::invalid_argument("signal shorter than one Welch segment");
    s.Scale(1.0 / segments);
    return s;
}

inline double Rms(const std::vector<double>& x) {
    double sum = 0;
    for (double v : x) sum += v * v;
    return std::sqrt(sum / static_cast<double>(x.size()));
}

inline double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const double n = static_cast<double>(a.size());
    double ma = 0, mb = 0;
    for (size_t i = 0; i < a.size(); ++i) ma += a[i], mb += b[i];
    ma /= n, mb /= n;
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

}  // namespace simtest

#endif  // KX_TESTS_SIMSDK_SIGNAL_ANALYSIS_H
