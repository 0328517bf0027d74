// Timing and reporting helpers shared by the gateway benchmarks.
//
// Every figure is the ratio of two medians taken in the same run: the code
// under test and a baseline doing the same work in the plainest way, their
// trials interleaved so that a slow moment on a shared machine falls on both.
#ifndef KX_BENCH_BENCH_UTIL_H
#define KX_BENCH_BENCH_UTIL_H

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kxbench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Keeps the compiler from discarding work whose result is otherwise unused.
template <typename T>
inline void KeepAlive(T* pointer) {
    asm volatile("" : : "g"(pointer) : "memory");
}

inline double Median(std::vector<double> values) {
    if (values.empty()) {
        throw std::logic_error("median of no values");
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

struct Comparison {
    double subject = 0.0;   // median seconds per unit of the code under test
    double baseline = 0.0;  // median seconds per unit of the baseline
    double Ratio() const { return subject / baseline; }
};

// Each trial function returns the seconds one unit of work took in that
// trial. One untimed warm-up of each, then `trials` alternating runs.
inline Comparison Compare(int trials, const std::function<double()>& subject, const std::function<double()>& baseline) {
    subject();
    baseline();
    std::vector<double> subject_times;
    std::vector<double> baseline_times;
    for (int i = 0; i < trials; ++i) {
        if (i % 2 == 0) {
            subject_times.push_back(subject());
            baseline_times.push_back(baseline());
        } else {
            baseline_times.push_back(baseline());
            subject_times.push_back(subject());
        }
    }
    if (std::getenv("KX_BENCH_VERBOSE") != nullptr) {
        std::fprintf(stderr, "  subject  ns:");
        for (double t : subject_times) std::fprintf(stderr, " %.0f", t * 1e9);
        std::fprintf(stderr, "\n  baseline ns:");
        for (double t : baseline_times) std::fprintf(stderr, " %.0f", t * 1e9);
        std::fprintf(stderr, "\n");
    }
    return {Median(subject_times), Median(baseline_times)};
}

// A target as written: "5x", "1.1x".
inline std::string FormatLimit(double limit) {
    std::ostringstream text;
    text << limit;
    return text.str();
}

inline std::string Format(double value, int precision = 2) {
    std::ostringstream text;
    text.setf(std::ios::fixed);
    text.precision(precision);
    text << value;
    return text.str();
}

// One line per figure, on stdout and in the results file.
class Report {
public:
    explicit Report(const std::string& path) : file_(path, std::ios::trunc) {
        if (!file_) {
            throw std::runtime_error("cannot write " + path);
        }
    }

    void Line(const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
        file_ << text << '\n';
        file_.flush();
    }

    // "<what>: <ratio>x <baseline> (target <= <limit>x)"
    void AtMost(const std::string& what, double ratio, const std::string& baseline, double limit) {
        Figure(what + ": " + Format(ratio) + "x " + baseline +  " (target <= " + FormatLimit(limit) + "x)",
               ratio <= limit);
    }

    // "<what>: <ratio>x <baseline> (target >= <limit>x)"
    void AtLeast(const std::string& what, double ratio, const std::string& baseline, double limit) {
        Figure(what + ": " + Format(ratio, ratio < 100 ? 2 : 0) + "x " + baseline +  " (target >= " +
                   FormatLimit(limit) + "x)",
               ratio >= limit);
    }

    void Note(const std::string& text) { Line("  " + text); }

    void Summary() {
        Line(std::to_string(met_) + " of " + std::to_string(figures_) + " figures within target" +
             (missed_.empty() ? "" : "; missed: " + Join(missed_)));
    }

private:
    void Figure(const std::string& text, bool met) {
        ++figures_;
        if (met) {
            ++met_;
        } else {
            missed_.push_back(text.substr(0, text.find(':')));
        }
        Line(text);
    }

    static std::string Join(const std::vector<std::string>& parts) {
        std::string joined;
        for (const std::string& part : parts) {
            joined += (joined.empty() ? "" : ", ") + part;
        }
        return joined;
    }

    std::ofstream file_;
    int figures_ = 0;
    int met_ = 0;
    std::vector<std::string> missed_;
};

}  // namespace kxbench

#endif  // KX_BENCH_BENCH_UTIL_H
