// The one list of the gateway's commands. Beside each entry is the file that
// defines its handler. One entry per line, written {"name", handler}: the
// build reads the names from these lines for the tests.
#include "gateway/command_table.h"

#include "gateway/commands.h"

namespace kx {
namespace {

template <MxPtr (*handler)()>
MxPtr IgnoringPayload(const mxArray* /*payload*/) {
    return handler();
}

}  // namespace

const Command kCommandTable[] = {
    {"status", IgnoringPayload<HandleStatus>},                          // session/session_state.cpp
    {"ping", IgnoringPayload<HandleStatus>},                            // session/session_state.cpp
    {"init", IgnoringPayload<HandleInit>},                              // session/core_init.cpp
    {"close", IgnoringPayload<HandleClose>},                            // session/session_state.cpp
    {"scan", IgnoringPayload<HandleScan>},                              // session/connection.cpp
    {"connect", HandleConnect},                                         // session/connection.cpp
    {"disconnect", IgnoringPayload<HandleDisconnect>},                  // session/connection.cpp
    {"is_connected", IgnoringPayload<HandleIsConnected>},               // session/session_state.cpp
    {"is_streaming", IgnoringPayload<HandleIsStreaming>},               // session/session_state.cpp
    {"get_device_info", IgnoringPayload<HandleGetDeviceInfo>},          // device/device_info.cpp
    {"get_device_features", IgnoringPayload<HandleGetDeviceFeatures>},  // device/device_info.cpp
    {"get_battery_info", IgnoringPayload<HandleGetBatteryInfo>},        // device/device_info.cpp
    {"set_channel_enabled", HandleSetChannelEnabled},                   // device/settings.cpp
    {"set_channel_gain", HandleSetChannelGain},                         // device/settings.cpp
    {"set_channel_bias", HandleSetChannelBias},                         // device/settings.cpp
    {"set_sample_rate", HandleSetSampleRate},                           // device/settings.cpp
    {"load_config", IgnoringPayload<HandleLoadConfig>},                 // device/settings.cpp
    {"start_stream", HandleStartStream},                                // stream/stream_control.cpp
    {"read_chunk", HandleReadChunk},                                    // stream/chunk_reading.cpp
    {"stop_stream", IgnoringPayload<HandleStopStream>},                 // stream/stream_control.cpp
    {"annotate", HandleAnnotate},                                       // device/annotations.cpp
    {"get_annotations", IgnoringPayload<HandleGetAnnotations>},         // device/annotations.cpp
    {"clear_annotations", IgnoringPayload<HandleClearAnnotations>},     // device/annotations.cpp
};
static_assert(sizeof(kCommandTable) / sizeof(kCommandTable[0]) == kCommandCount, "the gateway has 23 commands");

const Command* FindCommand(const std::string& name) {
    for (const Command& command : kCommandTable) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

}  // namespace kx
