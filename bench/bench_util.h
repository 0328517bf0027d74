// Timing, counting and reporting helpers shared by the gateway benchmarks.
//
// Every figure is a ratio against a baseline measured in the same run: the
// code under test and a baseline doing the same work in the plainest way,
// their trials interleaved so that a slow moment on a shared machine falls on
// both. Each figure is one line "NAME: R (target <= T)" or ">="; lines that
// start with two spaces are notes. bench/tally.sh counts the figures.
#ifndef KX_BENCH_BENCH_UTIL_H
#define KX_BENCH_BENCH_UTIL_H

#include <sys/resource.h>
#include <unistd.h>

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

inline void Require(bool condition, const std::string& what) {
    if (!condition) {
        throw std::runtime_error(what);
    }
}

inline bool Verbose() {
    return std::getenv("KX_BENCH_VERBOSE") != nullptr;
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
    if (Verbose()) {
        std::fprintf(stderr, "  subject median %.0f ns, baseline median %.0f ns\n", Median(subject_times) * 1e9,
                     Median(baseline_times) * 1e9);
    }
    return {Median(subject_times), Median(baseline_times)};
}

// Page faults (minor and major) of the calling thread so far.
inline long ThreadPageFaults() {
    struct rusage usage {};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// Resident memory of the process, from /proc/self/statm.
inline std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size_pages = 0;
    std::size_t resident_pages = 0;
    statm >> size_pages >> resident_pages;
    Require(static_cast<bool>(statm), "cannot read /proc/self/statm");
    return resident_pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

inline std::string Format(double value, int precision) {
    std::ostringstream text;
    text.setf(std::ios::fixed);
    text.precision(precision);
    text << value;
    return text.str();
}

// Two decimals, none from 100 on.
inline std::string FormatRatio(double value) {
    return Format(value, value >= 100 ? 0 : 2);
}

inline std::string FormatLimit(double limit) {
    std::ostringstream text;
    text << limit;
    return text.str();
}

// One line per figure or note, on stdout and in the results file.
class Report {
public:
    explicit Report(const std::string& path) : file_(path, std::ios::trunc) {
        Require(static_cast<bool>(file_), "cannot write " + path);
    }

    void Line(const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
        file_ << text << '\n';
        file_.flush();
    }

    void AtMost(const std::string& name, double value, double limit) {
        Line(name + ": " + FormatRatio(value) + " (target <= " + FormatLimit(limit) + ")");
    }

    void AtLeast(const std::string& name, double value, double limit) {
        Line(name + ": " + FormatRatio(value) + " (target >= " + FormatLimit(limit) + ")");
    }

    void Note(const std::string& text) { Line("  " + text); }

private:
    std::ofstream file_;
};

}  // namespace kxbench

#endif  // KX_BENCH_BENCH_UTIL_H
