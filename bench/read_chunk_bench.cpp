// read_chunk through the built MEX file (real backend on the simulated SDK,
// chunks emitted by hand), as MATLAB code calls it, against a memcpy of the
// bytes it hands over.
#include "bench/bench_util.h"
#include "bench/sections.h"

#include "harness.h"
#include "kxsim.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace kxbench {
namespace {

constexpr int kChunks = 256;  // the default buffer capacity, full
constexpr std::size_t kChannels = 32;
constexpr std::size_t kSamples = 25;
constexpr int kCopiesPerTrial = 8;
constexpr const char* kHeadset = "SIM BENCH 32";

void Ok(const mxhost::CallResult& result, const std::string& command) {
    Require(result.ok, command + " failed: " + result.identifier + ": " + result.message);
    Require(result.leaks.empty(), command + " left arrays behind");
}

double MetaValue(const mxArray* result, const char* field) {
    return mxhost::AsDouble(mxhost::Field(mxhost::Field(result, "meta"), field));
}

// Page faults of the timed reads, for the note.
long read_faults = 0;
long reads = 0;

double TrialReadChunk(mxhost::MexModule& mex) {
    Require(kxsim::EmitChunks(kChunks), "the simulated SDK did not emit its chunks");
    const long faults = ThreadPageFaults();
    const auto start = Clock::now();
    mxhost::CallResult read = mex.Call("read_chunk");
    const double seconds = SecondsSince(start);
    read_faults += ThreadPageFaults() - faults;
    ++reads;
    Ok(read, "read_chunk");
    Require(MetaValue(read.value, "chunk_count") == kChunks && MetaValue(read.value, "dropped_chunks") == 0,
            "read_chunk did not return the full buffer");
    const mxArray* data = mxhost::Field(read.value, "data");
    Require(mxhost::Dims(data) == (std::vector<size_t>{kChannels, kChunks * kSamples}),
            "read_chunk matrix has the wrong size");
    const double* values = mxGetDoubles(data);
    Require(values[kChannels * kSamples * kChunks - 1] ==
                kxsim::RampValue(KX_DATA_TYPE_FLOAT32, kChannels - 1, kxsim::SampleIndex() - 1),
            "read_chunk returned a wrong last sample");
    return seconds;
}

double TrialMemcpy(const std::vector<double>& source, std::vector<double>& target) {
    const auto start = Clock::now();
    for (int i = 0; i < kCopiesPerTrial; ++i) {
        std::memcpy(target.data(), source.data(), source.size() * sizeof(double));
        KeepAlive(target.data());
    }
    return SecondsSince(start) / kCopiesPerTrial;
}

kxsim::Headset BenchHeadset() {
    kxsim::Headset headset = kxsim::DefaultHeadsets().front();
    headset.name = kHeadset;
    headset.electrodes = kChannels;
    headset.sample_per_packet = kSamples;
    return headset;
}

}  // namespace

void BenchReadChunkThroughMex(Report& report) {
    kxsim::Reset();
    mxhost::ClearViolations();
    kxsim::SetHeadsets({BenchHeadset()});
    kxsim::SetManualStream(true);
    kxsim::SetSignal(kxsim::SignalKind::kRamp);  // the last sample is checked against its index
    kxsim::SetConnectPlan({0, 10, 10, true, -1});
    {
        mxhost::MexModule mex(KX_BENCH_MEX_REAL);
        const mxhost::Array connect_payload = mxhost::Struct({{"device_name", mxhost::Str(kHeadset)}});
        const mxhost::CallResult connect = mex.Call("connect", connect_payload);
        Ok(connect, "connect");
        Require(mxhost::AsBool(mxhost::Field(connect.value, "connected")), "connect did not connect");
        Ok(mex.Call("start_stream"), "start_stream");

        const std::vector<double> source(kChannels * kSamples * kChunks, 0.5);
        std::vector<double> target(source.size());
        const Comparison vs_memcpy = Compare(
            61, [&] { return TrialReadChunk(mex); }, [&] { return TrialMemcpy(source, target); });

        Ok(mex.Call("stop_stream"), "stop_stream");
        mex.ForceClear();

        report.AtMost("read_chunk draining " + std::to_string(kChunks) + " chunks of " + std::to_string(kChannels) +
                          " x " + std::to_string(kSamples) + " vs memcpy of the same bytes",
                      vs_memcpy.Ratio(), 2.5);
        report.Note("memcpy " + Format(vs_memcpy.baseline * 1e6, 0) + " us, read_chunk " +
                    Format(vs_memcpy.subject * 1e6, 0) + " us with " +
                    Format(static_cast<double>(read_faults) / static_cast<double>(reads), 1) +
                    " page faults per call (the host's allocator)");
    }
    const std::vector<std::string> violations = mxhost::Violations();
    const std::vector<std::string> sdk_violations = kxsim::Violations();
    Require(violations.empty(), "MATLAB host contract broken: " + (violations.empty() ? "" : violations.front()));
    Require(sdk_violations.empty(), "SDK contract broken: " + (sdk_violations.empty() ? "" : sdk_violations.front()));
    kxsim::Reset();
}

}  // namespace kxbench
