#include "gateway/commands.h"
#include "gateway/failure.h"

namespace kx {
MxPtr HandleGetDeviceInfo() {
    ThrowMex(id::kRuntimeError, "The command \"get_device_info\" is not available in this build.");
}
MxPtr HandleGetDeviceFeatures() {
    ThrowMex(id::kRuntimeError, "The command \"get_device_features\" is not available in this build.");
}
MxPtr HandleGetBatteryInfo() {
    ThrowMex(id::kRuntimeError, "The command \"get_battery_info\" is not available in this build.");
}
}  // namespace kx
