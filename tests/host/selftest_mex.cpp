// A small MEX module exercising the host: selftest_mex(command, payload).
#include <cstring>
#include <stdexcept>
#include <thread>

#include "mex.h"

namespace {

int g_calls = 0;             // fresh after every reload
bool g_unwound = false;      // set if a raised error ran destructors in this module
mxArray* g_kept = nullptr;   // persistent between calls
mxArray* g_stash = nullptr;  // kept without mexMakeArrayPersistent: freed when its call ends

void OnExit() {
    mexPrintf("exit handler ran after %d calls\n", g_calls);
    mxDestroyArray(g_kept);
    g_kept = nullptr;
}

bool Is(const char* cmd, const char* name) {
    return std::strcmp(cmd, name) == 0;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    char cmd[32];
    if (nrhs < 1 || mxGetString(prhs[0], cmd, sizeof cmd) != 0)
        mexErrMsgIdAndTxt("selftest:usage", "first argument must be a command");
    const mxArray* payload = nrhs > 1 ? prhs[1] : nullptr;
    ++g_calls;

    if (Is(cmd, "count")) {
        plhs[0] = mxCreateDoubleScalar(g_calls);
    } else if (Is(cmd, "nargout")) {
        mexPrintf("nlhs=%d\n", nlhs);
        if (nlhs > 0) plhs[0] = mxCreateDoubleScalar(nlhs);
    } else if (Is(cmd, "fail")) {
        char text[64];
        mxGetString(payload, text, sizeof text);
        mexErrMsgIdAndTxt("selftest:bad", "bad value '%s' (100%% sure)", text);
    } else if (Is(cmd, "fail_holding")) {
        struct Sentinel {
            ~Sentinel() { g_unwound = true; }
        } sentinel;
        mexErrMsgIdAndTxt("selftest:held", "raised with a live local");
    } else if (Is(cmd, "unwound")) {
        plhs[0] = mxCreateLogicalScalar(g_unwound);
    } else if (Is(cmd, "failplain")) {
        mexErrMsgTxt("plain failure at 50%");
    } else if (Is(cmd, "leak")) {
        mxCreateDoubleScalar(42);
        mxMalloc(16);
        char* s = mxArrayToString(payload);
        (void)s;
        plhs[0] = mxCreateLogicalScalar(true);
    } else if (Is(cmd, "struct")) {
        const char* names[] = {"zeta", "alpha", "mid"};
        plhs[0] = mxCreateStructMatrix(1, 1, 3, names);
        mxSetField(plhs[0], 0, "alpha", mxCreateString("a"));
        mxSetField(plhs[0], 0, "zeta", mxDuplicateArray(payload));
    } else if (Is(cmd, "lock")) {
        mexLock();
        plhs[0] = mxCreateLogicalScalar(mexIsLocked());
    } else if (Is(cmd, "unlock")) {
        mexUnlock();
        plhs[0] = mxCreateLogicalScalar(mexIsLocked());
    } else if (Is(cmd, "atexit")) {
        mexAtExit(&OnExit);
        plhs[0] = mxCreateString(mexFunctionName());
    } else if (Is(cmd, "keep")) {
        g_kept = mxDuplicateArray(payload);
        mexMakeArrayPersistent(g_kept);
        plhs[0] = mxCreateDoubleScalar(g_calls);
    } else if (Is(cmd, "kept")) {
        plhs[0] = g_kept != nullptr ? mxDuplicateArray(g_kept) : mxCreateDoubleMatrix(0, 0, mxREAL);
    } else if (Is(cmd, "stash")) {
        g_stash = mxCreateDoubleScalar(3);
        plhs[0] = mxCreateLogicalScalar(true);
    } else if (Is(cmd, "use_stash")) {
        plhs[0] = mxCreateDoubleScalar(mxGetScalar(g_stash));
    } else if (Is(cmd, "thread")) {
        std::thread worker([] { mxDestroyArray(mxCreateDoubleScalar(1)); });
        worker.join();
        plhs[0] = mxCreateLogicalScalar(true);
    } else if (Is(cmd, "return_input")) {
        plhs[0] = const_cast<mxArray*>(payload);
    } else if (Is(cmd, "destroy_input")) {
        mxDestroyArray(const_cast<mxArray*>(payload));
        plhs[0] = mxCreateLogicalScalar(true);
    } else if (Is(cmd, "set_input")) {
        mxSetCell(const_cast<mxArray*>(payload), 0, mxCreateDoubleScalar(6));
        plhs[0] = mxCreateLogicalScalar(true);
    } else if (Is(cmd, "double_store")) {
        mxArray* cell = mxCreateCellMatrix(1, 2);
        mxArray* v = mxCreateDoubleScalar(1);
        mxSetCell(cell, 0, v);
        mxSetCell(cell, 1, v);
        mxDestroyArray(v);
        plhs[0] = cell;
    } else if (Is(cmd, "bad_free")) {
        mxFree(mxGetData(payload));
        plhs[0] = mxCreateLogicalScalar(true);
    } else if (Is(cmd, "to_char")) {
        mxArray* in = const_cast<mxArray*>(payload);
        mexCallMATLAB(1, plhs, 1, &in, "char");
    } else if (Is(cmd, "warn")) {
        mexWarnMsgIdAndTxt("selftest:warn", "careful with %d", 3);
        plhs[0] = mxCreateLogicalScalar(true);
    } else if (Is(cmd, "throw")) {
        throw std::runtime_error("escaped");
    } else {
        mexErrMsgIdAndTxt("selftest:unknownCommand", "unknown command '%s'", cmd);
    }
}
