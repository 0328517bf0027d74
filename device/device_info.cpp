#include "device/device_info.h"

#include "gateway/commands.h"
#include "gateway/failure.h"
#include "gateway/values.h"
#include "session/session_state.h"

#include <cstring>

namespace kx {
namespace {

constexpr std::int32_t kMaxSamplesPerPacket = 4096;

constexpr kx_device_info kMockDeviceInfo = {
    KX_MODEL_SOLA,  // device_model
    {2, 1, 0},      // hardware_version
    {3, 6, 1},      // firmware_version
    123456789,      // serial_number
    25,             // sample_per_packet
};
constexpr std::uint8_t kMockElectrodeCount = 8;
constexpr kx_battery_info kMockBattery = {87, false, false};

// The low 32 bits of an SDK count, read as a signed integer.
std::int32_t LowSigned32(std::uint64_t value) {
    const std::uint32_t low = static_cast<std::uint32_t>(value & 0xFFFFFFFFu);
    if (low <= static_cast<std::uint32_t>(INT32_MAX)) {
        return static_cast<std::int32_t>(low);
    }
    return -static_cast<std::int32_t>(~low) - 1;
}

MxPtr MakeBatteryInfoStruct(const kx_battery_info& battery) {
    return StructBuilder({"is_charger_connected", "is_charging", "level"})
        .Set("is_charger_connected", MakeLogical(SdkFlag(battery.is_charger_connected)))
        .Set("is_charging", MakeLogical(SdkFlag(battery.is_charging)))
        .Set("level", MakeDouble(battery.level))
        .Release();
}

void RequireMockDeviceConnected(const SessionState& session) {
    if (!session.mock_connected) {
        ThrowMex(id::kNotConnected, "No device connected. Call kx_connect first.");
    }
}

}  // namespace

const kx_device_info& RequireDeviceInfo() {
    const kx_device_info* info = CallSdkOrThrow(
        "kx_eeg_manager_get_device_info", [] { return kx_eeg_manager_get_device_info(RequireConnectedManager()); });
    if (info == nullptr) {
        ThrowNullResult("kx_eeg_manager_get_device_info");
    }
    return *info;
}

std::int32_t QuerySamplesPerPacket(const kx_device_info& info) {
    const std::int32_t reported = LowSigned32(info.sample_per_packet);
    if (reported >= 1 && reported <= kMaxSamplesPerPacket) {
        return reported;
    }
    sKXCORE_Config_t config;
    std::memset(&config, 0, sizeof(config));
    const kx_status status = CallSdkOrThrow("kx_core_get_config", [&config] { return kx_core_get_config(&config); });
    if (status == KX_ERROR_OK) {
        const std::int32_t chunk_size = LowSigned32(config.chunk_size);
        if (chunk_size > 0) {
            return chunk_size;
        }
    }
    return reported;
}

MxPtr MakeDeviceFeaturesStruct(kx_device_features features) {
    return StructBuilder({"electrode_count", "has_accel", "has_gyro", "is_bipolar"})
        .Set("electrode_count", MakeDouble(kx_core_device_features_electrode_count(features)))
        .Set("has_accel", MakeLogical(kx_core_device_features_has_accel(features)))
        .Set("has_gyro", MakeLogical(kx_core_device_features_has_gyro(features)))
        .Set("is_bipolar", MakeLogical(kx_core_device_features_is_bipolar(features)))
        .Release();
}

MxPtr MakeMockDeviceInfoStruct() {
    return MakeDeviceInfoStruct(kMockDeviceInfo, static_cast<std::int32_t>(kMockDeviceInfo.sample_per_packet));
}

MxPtr MakeMockDeviceFeaturesStruct() {
    return StructBuilder({"electrode_count", "has_accel", "has_gyro", "is_bipolar"})
        .Set("electrode_count", MakeDouble(kMockElectrodeCount))
        .Set("has_accel", MakeLogical(false))
        .Set("has_gyro", MakeLogical(false))
        .Set("is_bipolar", MakeLogical(false))
        .Release();
}

MxPtr HandleGetDeviceInfo() {
    SessionState& session = *Session();
    MxPtr info_struct;
    if (session.mock_mode) {
        RequireMockDeviceConnected(session);
        info_struct = MakeMockDeviceInfoStruct();
    } else {
        const kx_device_info& info = RequireDeviceInfo();
        info_struct = MakeDeviceInfoStruct(info, QuerySamplesPerPacket(info));
    }
    return StructBuilder({"device_info"}).Set("device_info", std::move(info_struct)).Release();
}

MxPtr HandleGetDeviceFeatures() {
    SessionState& session = *Session();
    MxPtr features_struct;
    if (session.mock_mode) {
        RequireMockDeviceConnected(session);
        features_struct = MakeMockDeviceFeaturesStruct();
    } else {
        const kx_device_info& info = RequireDeviceInfo();
        const kx_device_features features =
            CallSdkOrThrow("kx_core_device_features_get", [&info] { return kx_core_device_features_get(&info); });
        if (features == nullptr) {
            ThrowNullResult("kx_core_device_features_get");
        }
        features_struct = MakeDeviceFeaturesStruct(features);
    }
    return StructBuilder({"device_features"}).Set("device_features", std::move(features_struct)).Release();
}

MxPtr HandleGetBatteryInfo() {
    SessionState& session = *Session();
    kx_battery_info battery{};
    if (session.mock_mode) {
        RequireMockDeviceConnected(session);
        battery = kMockBattery;
    } else {
        kx_eeg_manager* manager = RequireConnectedManager();
        battery = CallSdkOrThrow("kx_eeg_manager_get_battery_info",
                                 [manager] { return kx_eeg_manager_get_battery_info(manager); });
    }
    return StructBuilder({"battery_info"}).Set("battery_info", MakeBatteryInfoStruct(battery)).Release();
}

}  // namespace kx
