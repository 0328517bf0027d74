// What the connected headset is: its device info from the SDK, the mock
// headset's fixed records, and the features struct. connect
// (session/connection.cpp) puts the same structs into its result.
#ifndef KX_DEVICE_DEVICE_INFO_H
#define KX_DEVICE_DEVICE_INFO_H

#include "interfaces/kxcore.h"
#include "interfaces/mex_api.h"

#include <cstdint>

namespace kx {

// The connected manager's device info. Fails like RequireConnectedManager
// when no device is connected, and when the SDK throws or returns null.
const kx_device_info& RequireDeviceInfo();

// The packet size to report for `info`: its own when that is a usable size
// (1 to 4096), else the core configuration's chunk size, read with a
// kx_core_get_config call.
std::int32_t QuerySamplesPerPacket(const kx_device_info& info);

// Queries the handle with the SDK's four feature functions.
MxPtr MakeDeviceFeaturesStruct(kx_device_features features);

// The records both mock headsets report; no SDK call.
MxPtr MakeMockDeviceInfoStruct();
MxPtr MakeMockDeviceFeaturesStruct();

}  // namespace kx

#endif  // KX_DEVICE_DEVICE_INFO_H
