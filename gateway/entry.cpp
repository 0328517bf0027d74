// The entry point: argument checks, command dispatch, and the one place where
// a failure becomes a MATLAB error.
#include "gateway/commands.h"
#include "gateway/failure.h"
#include "gateway/payload.h"

#include <cstddef>
#include <exception>
#include <string>

namespace kx {
namespace {

using Handler = MxPtr (*)(const mxArray* payload);

struct Command {
    const char* name;
    Handler handler;
};

// Searched in this order; the first exact, case-sensitive match wins.
const Command kCommands[] = {
    {"status", [](const mxArray*) { return HandleStatus(); }},
    {"ping", [](const mxArray*) { return HandleStatus(); }},
    {"init", [](const mxArray*) { return HandleInit(); }},
    {"close", [](const mxArray*) { return HandleClose(); }},
    {"scan", [](const mxArray*) { return HandleScan(); }},
    {"connect", HandleConnect},
    {"disconnect", [](const mxArray*) { return HandleDisconnect(); }},
    {"is_connected", [](const mxArray*) { return HandleIsConnected(); }},
    {"is_streaming", [](const mxArray*) { return HandleIsStreaming(); }},
    {"get_device_info", [](const mxArray*) { return HandleGetDeviceInfo(); }},
    {"get_device_features", [](const mxArray*) { return HandleGetDeviceFeatures(); }},
    {"get_battery_info", [](const mxArray*) { return HandleGetBatteryInfo(); }},
    {"set_channel_enabled", HandleSetChannelEnabled},
    {"set_channel_gain", HandleSetChannelGain},
    {"set_channel_bias", HandleSetChannelBias},
    {"set_sample_rate", HandleSetSampleRate},
    {"load_config", [](const mxArray*) { return HandleLoadConfig(); }},
    {"start_stream", HandleStartStream},
    {"read_chunk", HandleReadChunk},
    {"stop_stream", [](const mxArray*) { return HandleStopStream(); }},
    {"annotate", HandleAnnotate},
    {"get_annotations", [](const mxArray*) { return HandleGetAnnotations(); }},
    {"clear_annotations", [](const mxArray*) { return HandleClearAnnotations(); }},
};
static_assert(sizeof(kCommands) / sizeof(kCommands[0]) == 23, "the gateway has 23 commands");

RaisedFailure g_failure;

void CleanupAtExitHandler() {
    CleanupAtExit();
}

void RegisterAtExit() {
    static bool registered = false;
    if (!registered) {
        mexAtExit(CleanupAtExitHandler);
        registered = true;
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

    for (const Command& entry : kCommands) {
        if (command == entry.name) {
            MxPtr result = entry.handler(payload);
            if (nlhs == 1) {
                plhs[0] = result.release();
            }
            return;  // with no output requested, the result is destroyed here
        }
    }
    ThrowMex(id::kUnsupportedCommand, "Unsupported MEX command: " + command + ".");
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
