// Every command handler the dispatcher can run. Each returns the command's
// result as an owned array; each reports failure by raising MexFailure.
#ifndef KX_GATEWAY_COMMANDS_H
#define KX_GATEWAY_COMMANDS_H

#include "interfaces/mex_api.h"

namespace kx {

// session/
MxPtr HandleStatus();
MxPtr HandleIsConnected();
MxPtr HandleIsStreaming();
MxPtr HandleClose();
MxPtr HandleInit();
MxPtr HandleScan();
MxPtr HandleConnect(const mxArray* payload);
MxPtr HandleDisconnect();

// device/
MxPtr HandleGetDeviceInfo();
MxPtr HandleGetDeviceFeatures();
MxPtr HandleGetBatteryInfo();
MxPtr HandleSetChannelEnabled(const mxArray* payload);
MxPtr HandleSetChannelGain(const mxArray* payload);
MxPtr HandleSetChannelBias(const mxArray* payload);
MxPtr HandleSetSampleRate(const mxArray* payload);
MxPtr HandleLoadConfig();
MxPtr HandleAnnotate(const mxArray* payload);
MxPtr HandleGetAnnotations();
MxPtr HandleClearAnnotations();

// stream/
MxPtr HandleStartStream(const mxArray* payload);
MxPtr HandleReadChunk(const mxArray* payload);
MxPtr HandleStopStream();

// The exit handler MATLAB runs when it clears the MEX file.
void CleanupAtExit();

}  // namespace kx

#endif  // KX_GATEWAY_COMMANDS_H
