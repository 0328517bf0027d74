// Every command handler, grouped by the file that defines it; the command
// table (gateway/command_table.cpp) names each command's handler. Each
// returns the command's result as an owned array and reports failure by
// raising MexFailure. Handlers include this header for their own signatures.
#ifndef KX_GATEWAY_COMMANDS_H
#define KX_GATEWAY_COMMANDS_H

#include "interfaces/mex_api.h"

namespace kx {

// session/session_state.cpp
MxPtr HandleStatus();
MxPtr HandleIsConnected();
MxPtr HandleIsStreaming();
MxPtr HandleClose();
// The exit handler MATLAB runs when it clears the MEX file.
void CleanupAtExit();

// session/core_init.cpp
MxPtr HandleInit();

// session/connection.cpp
MxPtr HandleScan();
MxPtr HandleConnect(const mxArray* payload);
MxPtr HandleDisconnect();

// device/device_info.cpp
MxPtr HandleGetDeviceInfo();
MxPtr HandleGetDeviceFeatures();
MxPtr HandleGetBatteryInfo();

// device/settings.cpp
MxPtr HandleSetChannelEnabled(const mxArray* payload);
MxPtr HandleSetChannelGain(const mxArray* payload);
MxPtr HandleSetChannelBias(const mxArray* payload);
MxPtr HandleSetSampleRate(const mxArray* payload);
MxPtr HandleLoadConfig();

// device/annotations.cpp
MxPtr HandleAnnotate(const mxArray* payload);
MxPtr HandleGetAnnotations();
MxPtr HandleClearAnnotations();

// stream/stream_control.cpp
MxPtr HandleStartStream(const mxArray* payload);
MxPtr HandleStopStream();

// stream/chunk_reading.cpp
MxPtr HandleReadChunk(const mxArray* payload);

}  // namespace kx

#endif  // KX_GATEWAY_COMMANDS_H
