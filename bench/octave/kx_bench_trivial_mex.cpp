// The Octave benchmark's baseline: a MEX file that answers the gateway's
// status and read_chunk with results of the same shapes, built with no
// logic behind them, so that what the gateway adds to a call can be told
// apart from what Octave spends on any MEX call.
//
//   kx_bench_trivial_mex('status')           the 7-field status struct
//   kx_bench_trivial_mex('read_chunk_empty') data 0x0 and the meta of no chunk
//   kx_bench_trivial_mex('read_chunk')       data 32x160 and the meta of one chunk
#include "mex.h"

#include <cstring>

namespace {

mxArray* Scalar(double value) {
    return mxCreateDoubleScalar(value);
}

mxArray* Status() {
    const char* fields[] = {"backend", "backend_variant", "connected", "core_initialized", "manager_present",
                            "mode",    "streaming"};
    mxArray* result = mxCreateStructMatrix(1, 1, 7, fields);
    mxSetField(result, 0, "backend", mxCreateString("kestrix-matlab-api"));
    mxSetField(result, 0, "backend_variant", mxCreateString("mex"));
    mxSetField(result, 0, "connected", mxCreateLogicalScalar(true));
    mxSetField(result, 0, "core_initialized", mxCreateLogicalScalar(true));
    mxSetField(result, 0, "manager_present", mxCreateLogicalScalar(true));
    mxSetField(result, 0, "mode", mxCreateString("persistent"));
    mxSetField(result, 0, "streaming", mxCreateLogicalScalar(false));
    return result;
}

mxArray* ReadChunk(bool with_chunk) {
    const char* meta_fields[] = {"available",      "channel_count", "chunk_count",  "chunk_sizes",
                                 "dropped_chunks", "received_at",   "sample_count", "sample_frequency_hz"};
    mxArray* meta = mxCreateStructMatrix(1, 1, 8, meta_fields);
    mxSetField(meta, 0, "available", mxCreateLogicalScalar(with_chunk));
    mxSetField(meta, 0, "channel_count", Scalar(with_chunk ? 32 : 0));
    mxSetField(meta, 0, "chunk_count", Scalar(with_chunk ? 1 : 0));
    mxSetField(meta, 0, "chunk_sizes", with_chunk ? Scalar(160) : mxCreateDoubleMatrix(0, 0, mxREAL));
    mxSetField(meta, 0, "dropped_chunks", Scalar(0));
    mxSetField(meta, 0, "received_at", with_chunk ? Scalar(0) : mxCreateDoubleMatrix(0, 0, mxREAL));
    mxSetField(meta, 0, "sample_count", Scalar(with_chunk ? 160 : 0));
    mxSetField(meta, 0, "sample_frequency_hz", with_chunk ? Scalar(16000) : mxCreateDoubleMatrix(0, 0, mxREAL));
    const char* fields[] = {"data", "meta"};
    mxArray* result = mxCreateStructMatrix(1, 1, 2, fields);
    mxSetField(result, 0, "data", mxCreateDoubleMatrix(with_chunk ? 32 : 0, with_chunk ? 160 : 0, mxREAL));
    mxSetField(result, 0, "meta", meta);
    return result;
}

}  // namespace

void mexFunction(int /*nlhs*/, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    char command[32] = {0};
    if (nrhs < 1 || mxGetString(prhs[0], command, sizeof(command)) != 0) {
        mexErrMsgIdAndTxt("kestrix:bench:usage", "%s", "kx_bench_trivial_mex(command)");
    }
    if (std::strcmp(command, "status") == 0) {
        plhs[0] = Status();
    } else if (std::strcmp(command, "read_chunk") == 0) {
        plhs[0] = ReadChunk(true);
    } else {
        plhs[0] = ReadChunk(false);
    }
}
