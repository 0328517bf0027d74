// The entry point: argument checks, command dispatch, and the one place where
// a failure becomes a MATLAB error.
#include "gateway/command_table.h"
#include "gateway/commands.h"
#include "gateway/failure.h"
#include "gateway/values.h"

#include <cstddef>
#include <exception>
#include <string>

namespace kx {
namespace {

// The commands and the handler of each are listed in gateway/command_table.cpp.

RaisedFailure g_failure;
bool g_exit_handler_registered = false;

void CleanupAtExitHandler() {
    CleanupAtExit();
    // The host forgets the handler of a file it clears. A file that stays
    // mapped (see ExpectLateCallbacks) and is called again registers anew.
    g_exit_handler_registered = false;
}

void RegisterAtExit() {
    if (!g_exit_handler_registered) {
        mexAtExit(CleanupAtExitHandler);
        g_exit_handler_registered = true;
    }
}

std::string DecodeCommand(const mxArray* argument) {
    if (!mxIsChar(argument)) {
        ThrowMex(id::kInvalidArgument, "Command must be a character vector.");
    }
    std::string command;
    if (!CopyCharArray(argument, command)) {
        ThrowMex(id::kInvalidArgument, "Could not decode command string.");
    }
    if (command.empty()) {
        ThrowMex(id::kInvalidArgument, "Command must not be empty.");
    }
    return command;
}

void Dispatch(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    RegisterAtExit();
    if (nrhs != 1 && nrhs != 2) {
        ThrowMex(id::kInvalidArgument, "Expected one or two input arguments.");
    }
    if (nlhs > 1) {
        ThrowMex(id::kTooManyOutputs, "This MEX gateway returns at most one output.");
    }
    const std::string command = DecodeCommand(prhs[0]);

    const mxArray* payload = nullptr;
    if (nrhs == 2 && prhs[1] != nullptr) {
        if (!mxIsEmpty(prhs[1]) && !mxIsStruct(prhs[1])) {
            ThrowMex(id::kInvalidArgument, "Payload must be a struct.");
        }
        payload = prhs[1];
    }

    const Command* entry = FindCommand(command);
    if (entry == nullptr) {
        ThrowMex(id::kUnsupportedCommand, "Unsupported MEX command: " + command + ".");
    }
    MxPtr result = entry->handler(payload);
    if (nlhs == 1) {
        plhs[0] = result.release();
    }
    // With no output requested, the result is destroyed here.
}

// Runs the call and returns true on failure, with the failure stored in
// g_failure while the exception still holds its text. Every C++ object of the
// call lives inside this frame and is gone on return.
bool RunGuarded(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) noexcept {
    g_failure.ReleaseLargeStorage();
    try {
        Dispatch(nlhs, plhs, nrhs, prhs);
        return false;
    } catch (const MexFailure& failure) {
        g_failure.Store(failure.identifier.c_str(), failure.what());
    } catch (const std::exception& error) {
        g_failure.Store(id::kRuntimeError, error.what());
    } catch (...) {
        g_failure.Store(id::kRuntimeError, "Unknown native exception.");
    }
    return true;
}

}  // namespace
}  // namespace kx

#define KX_MEX_EXPORT extern "C" __attribute__((visibility("default")))

KX_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    if (kx::RunGuarded(nlhs, plhs, nrhs, prhs)) {
        mexErrMsgIdAndTxt(kx::g_failure.identifier(), "%s", kx::g_failure.message());
    }
}

// MATLAB reads this to learn the API the file was built for: release R2025b,
// MEX API version 800 (interleaved complex).
KX_MEX_EXPORT void mexfilerequiredapiversion(unsigned int* built_by_release, unsigned int* target_api_version) {
    *built_by_release = 0x0002025B;
    *target_api_version = 0x08000000;
}
