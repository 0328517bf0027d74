// kx_gateway_bench [results file]: runs every benchmark section below and
// through the MEX file and writes one line per figure to stdout and to the
// results file. A figure outside its target is reported, never failed on;
// the exit status is nonzero only when a benchmark could not do its work
// (wrong data, a failed call). KX_BENCH_ONLY=<word> runs only the sections
// whose name contains the word (conversion, read_chunk, sustained, memory,
// hand-off, signal); KX_BENCH_VERBOSE=1 prints the medians behind each ratio.
#include "bench/sections.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

bool Selected(const char* section) {
    const char* only = std::getenv("KX_BENCH_ONLY");
    return only == nullptr || std::string(section).find(only) != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "results-cpp.txt";
    try {
        kxbench::Report report(path);
#ifdef KX_BENCH_BUILD_TYPE
        report.Line(std::string("gateway benchmarks (") + KX_BENCH_BUILD_TYPE +
                    " build); each figure is a ratio against a baseline measured in this run");
        if (std::string(KX_BENCH_BUILD_TYPE) == "Debug") {
            report.Note("an unoptimised build: its figures say little about a release build");
        }
#endif
        if (Selected("conversion")) kxbench::BenchChunkConversion(report);
        if (Selected("read_chunk")) kxbench::BenchReadChunkThroughMex(report);
        if (Selected("sustained")) kxbench::BenchSustainedRate(report);
        if (Selected("memory")) kxbench::BenchBufferMemory(report);
        if (Selected("hand-off")) kxbench::BenchChunkHandOff(report);
        if (Selected("signal")) kxbench::BenchSimulatedSignal(report);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
