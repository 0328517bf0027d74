// What the connected headset is: the device-info, features and battery
// structs, shared by connect and the settings commands.
#ifndef KX_DEVICE_DEVICE_INFO_H
#define KX_DEVICE_DEVICE_INFO_H

#include "interfaces/kxcore.h"
#include "interfaces/mex_api.h"

#include <cstdint>
#include <string>

namespace kx {

// The connected manager's device info (RequireConnectedManager first); may be
// null, every caller checks.
const kx_device_info* RequireDeviceInfo();
// "VELO", "RUNA", "TOKA", "ZEM", "SOLA1", "SOLA", or "UNKNOWN".
std::string DeviceModelNameForMatlab(std::uint8_t model);

MxPtr MakeDeviceInfoStruct(const kx_device_info& info);
MxPtr MakeDeviceFeaturesStruct(kx_device_features features);
MxPtr MakeMockDeviceFeaturesStruct();
MxPtr MakeBatteryInfoStruct(const kx_battery_info& battery);

// The one record both mock headsets report.
const kx_device_info& MockDeviceInfo();
kx_battery_info MockBatteryInfo();

}  // namespace kx

#endif  // KX_DEVICE_DEVICE_INFO_H
