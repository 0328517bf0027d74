// read_chunk through the built MEX file (real backend on the simulated SDK,
// chunks emitted by hand), as MATLAB code calls it.
#include "bench/sections.h"

#include "harness.h"
#include "kxsim.h"

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace kxbench {
namespace {

constexpr int kChunks = 256;       // the default buffer capacity, full
constexpr std::size_t kChannels = 8;  // the default first headset: 8 electrodes,
constexpr std::size_t kSamples = 25;  // 25 samples per packet
constexpr int kStatusCallsPerTrial = 64;
constexpr int kCopiesPerTrial = 8;

void Require(bool condition, const std::string& what) {
    if (!condition) {
        throw std::runtime_error(what);
    }
}

void Ok(const mxhost::CallResult& result, const std::string& command) {
    Require(result.ok, command + " failed: " + result.identifier + ": " + result.message);
    Require(result.leaks.empty(), command + " left arrays behind");
}

double MetaValue(const mxArray* result, const char* field) {
    return mxhost::AsDouble(mxhost::Field(mxhost::Field(result, "meta"), field));
}

double TrialReadChunk(mxhost::MexModule& mex) {
    Require(kxsim::EmitChunks(kChunks), "the simulated SDK did not emit its chunks");
    const auto start = Clock::now();
    mxhost::CallResult read = mex.Call("read_chunk");
    const double seconds = SecondsSince(start);
    Ok(read, "read_chunk");
    Require(MetaValue(read.value, "chunk_count") == kChunks && MetaValue(read.value, "dropped_chunks") == 0,
            "read_chunk did not return the full buffer");
    const std::vector<size_t> dims = mxhost::Dims(mxhost::Field(read.value, "data"));
    Require(dims == (std::vector<size_t>{kChannels, kChunks * kSamples}), "read_chunk matrix has the wrong size");
    return seconds;
}

double TrialStatus(mxhost::MexModule& mex) {
    const auto start = Clock::now();
    for (int i = 0; i < kStatusCallsPerTrial; ++i) {
        mxhost::CallResult status = mex.Call("status");
        Require(status.ok, "status failed");
    }
    return SecondsSince(start) / kStatusCallsPerTrial;
}

double TrialMemcpy(const std::vector<double>& source, std::vector<double>& target) {
    const auto start = Clock::now();
    for (int i = 0; i < kCopiesPerTrial; ++i) {
        std::memcpy(target.data(), source.data(), source.size() * sizeof(double));
        KeepAlive(target.data());
    }
    return SecondsSince(start) / kCopiesPerTrial;
}

}  // namespace

void BenchReadChunkThroughMex(Report& report) {
    kxsim::Reset();
    mxhost::ClearViolations();
    kxsim::SetManualStream(true);
    kxsim::SetConnectPlan({0, 10, 10, true, -1});
    {
        mxhost::MexModule mex(KX_BENCH_MEX_REAL);
        const mxhost::Array connect_payload = mxhost::Struct({{"device_name", mxhost::Str("SIM SOLA 101")}});
        const mxhost::CallResult connect = mex.Call("connect", connect_payload);
        Ok(connect, "connect");
        Require(mxhost::AsBool(mxhost::Field(connect.value, "connected")), "connect did not connect");
        Ok(mex.Call("start_stream"), "start_stream");

        const Comparison vs_status =
            Compare(61, [&] { return TrialReadChunk(mex); }, [&] { return TrialStatus(mex); });
        const std::vector<double> source(kChannels * kSamples * kChunks, 0.5);
        std::vector<double> target(source.size());
        const Comparison vs_memcpy =
            Compare(61, [&] { return TrialReadChunk(mex); }, [&] { return TrialMemcpy(source, target); });

        Ok(mex.Call("stop_stream"), "stop_stream");
        mex.ForceClear();

        const std::string what = "read_chunk draining " + std::to_string(kChunks) + " chunks of " +
                                 std::to_string(kChannels) + " x " + std::to_string(kSamples);
        report.AtMost(what, vs_status.Ratio(), "a status call", 50.0);
        report.AtMost(what + ", per sample", vs_memcpy.Ratio(), "memcpy of the same bytes", 5.0);
    }
    const std::vector<std::string> violations = mxhost::Violations();
    const std::vector<std::string> sdk_violations = kxsim::Violations();
    Require(violations.empty(), "MATLAB host contract broken: " + (violations.empty() ? "" : violations.front()));
    Require(sdk_violations.empty(), "SDK contract broken: " + (sdk_violations.empty() ? "" : sdk_violations.front()));
    kxsim::Reset();
}

}  // namespace kxbench
