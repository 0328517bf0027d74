// get_device_info, get_device_features and get_battery_info on both
// backends, and the packet size the device-info struct reports.
#include "gateway_fixture.h"

#include <cstring>

#include <cstdint>
#include <string>
#include <vector>

namespace kxtest {
namespace {

using mxhost::Field;
using mxhost::FieldNames;
using mxhost::Str;
using mxhost::Struct;

constexpr const char* kNotConnected = "kestrix:state:notConnected";
constexpr const char* kNative = "kestrix:sdk:nativeException";
constexpr const char* kRuntime = "kestrix:mex:runtimeError";
const char* const kInfoCommands[] = {"get_device_info", "get_device_features", "get_battery_info"};

class DeviceInfoTest : public QuickLinkGatewayTest {
protected:
    // Connects to the only headset in range, described by `headset`.
    void ConnectTo(const kxsim::Headset& headset) {
        kxsim::SetHeadsets({headset});
        ASSERT_TRUE(B(Ok(Call("connect", Struct({{"device_name", Str(headset.name)}}))), "connected"));
    }

    double PacketSizeReported(std::uint64_t sample_per_packet) {
        kxsim::Headset headset = kxsim::DefaultHeadsets()[0];
        headset.sample_per_packet = sample_per_packet;
        ConnectTo(headset);
        return D(Field(Ok(Call("get_device_info")), "device_info"), "sample_per_packet");
    }

    void SetChunkSize(std::uint64_t chunk_size) {
        sKXCORE_Config_t config = kxsim::DefaultConfig();
        config.chunk_size = chunk_size;
        kxsim::SetConfig(config);
    }
};

class MockDeviceInfoTest : public MockGatewayTest {};

kxsim::Headset CustomHeadset() {
    kxsim::Headset headset;
    headset.name = "SIM CUSTOM 9";
    headset.mac = "00:1A:7D:00:09:09";
    headset.model = KX_MODEL_ZEM;
    headset.hardware = {4, 0, 17};
    headset.firmware = {5, 255, 1};
    headset.serial = (1ull << 53);
    headset.sample_per_packet = 50;
    headset.electrodes = 32;
    headset.accel = true;
    headset.gyro = false;
    headset.bipolar = true;
    headset.battery = {12, true, false};
    return headset;
}

TEST_F(DeviceInfoTest, ThreeCommands_ReportTheConnectedHeadset) {
    ConnectTo(CustomHeadset());

    const mxArray* result = Ok(Call("get_device_info"));
    EXPECT_EQ(FieldNames(result), std::vector<std::string>{"device_info"});
    const mxArray* info = Field(result, "device_info");
    EXPECT_EQ(FieldNames(info), (std::vector<std::string>{"device_model", "firmware_version", "hardware_version",
                                                          "sample_per_packet", "serial_number"}));
    EXPECT_EQ(S(Field(info, "device_model"), "name"), "ZEM");
    EXPECT_EQ(D(Field(info, "device_model"), "value"), 3);
    EXPECT_EQ(S(Field(info, "firmware_version"), "text"), "5.255.1");
    EXPECT_EQ(S(Field(info, "hardware_version"), "text"), "4.0.17");
    EXPECT_EQ(D(Field(info, "hardware_version"), "patch"), 17);
    EXPECT_EQ(D(info, "sample_per_packet"), 50);
    EXPECT_EQ(D(info, "serial_number"), 9007199254740992.0);

    const mxArray* features = Field(Ok(Call("get_device_features")), "device_features");
    EXPECT_EQ(FieldNames(features),
              (std::vector<std::string>{"electrode_count", "has_accel", "has_gyro", "is_bipolar"}));
    EXPECT_EQ(D(features, "electrode_count"), 32);
    EXPECT_TRUE(B(features, "has_accel"));
    EXPECT_FALSE(B(features, "has_gyro"));
    EXPECT_TRUE(B(features, "is_bipolar"));

    const mxArray* battery = Field(Ok(Call("get_battery_info")), "battery_info");
    EXPECT_EQ(FieldNames(battery), (std::vector<std::string>{"is_charger_connected", "is_charging", "level"}));
    EXPECT_TRUE(B(battery, "is_charger_connected"));
    EXPECT_FALSE(B(battery, "is_charging"));
    EXPECT_EQ(D(battery, "level"), 12);
}

TEST_F(DeviceInfoTest, ModelCodes_AreNamedByTheModelTable) {
    const std::vector<std::pair<int, std::string>> models = {
        {0, "VELO"}, {1, "RUNA"}, {2, "TOKA"}, {3, "ZEM"}, {4, "SOLA1"}, {5, "SOLA"}, {9, "UNKNOWN"}, {255, "UNKNOWN"}};
    for (const auto& [code, name] : models) {
        kxsim::Headset headset = CustomHeadset();
        headset.model = static_cast<std::uint8_t>(code);
        ConnectTo(headset);
        const mxArray* model = Field(Field(Ok(Call("get_device_info")), "device_info"), "device_model");
        EXPECT_EQ(S(model, "name"), name) << code;
        EXPECT_EQ(D(model, "value"), code);
    }
}

TEST_F(DeviceInfoTest, NoManagerOrLinkDropped_AllThreeFailAsNotConnected) {
    for (const char* command : kInfoCommands) {
        EXPECT_MEX_ERROR(Call(command), kNotConnected, "No active EEG manager. Call kx_connect first.");
    }
    ConnectTo(CustomHeadset());
    kxsim::DropLink();
    for (const char* command : kInfoCommands) {
        EXPECT_MEX_ERROR(Call(command), kNotConnected, "No device connected. Call kx_connect first.");
    }
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_get_battery_info"), 0);
}

TEST_F(DeviceInfoTest, NoDeviceInfo_FailsInfoAndFeaturesButNotBattery) {
    ConnectTo(CustomHeadset());
    kxsim::ScriptNull("kx_eeg_manager_get_device_info", 2);
    EXPECT_MEX_ERROR(Call("get_device_info"), kRuntime, "kx_eeg_manager_get_device_info returned null.");
    EXPECT_MEX_ERROR(Call("get_device_features"), kRuntime, "kx_eeg_manager_get_device_info returned null.");
    EXPECT_EQ(D(Field(Ok(Call("get_battery_info")), "battery_info"), "level"), 12);
    EXPECT_EQ(kxsim::CountCalls("kx_core_device_features_get"), 1) << "only connect asked for features";
}

TEST_F(DeviceInfoTest, NoFeaturesHandle_FailsFeaturesWhileDeviceInfoSucceeds) {
    ConnectTo(CustomHeadset());
    kxsim::ScriptNull("kx_core_device_features_get");
    EXPECT_MEX_ERROR(Call("get_device_features"), kRuntime, "kx_core_device_features_get returned null.");
    EXPECT_EQ(D(Field(Ok(Call("get_device_info")), "device_info"), "sample_per_packet"), 50);
}

TEST_F(DeviceInfoTest, SdkThrows_EachQueryReportsItsOwnName) {
    ConnectTo(CustomHeadset());
    kxsim::ScriptThrow("kx_eeg_manager_get_device_info", "info 100% lost", 2);
    EXPECT_MEX_ERROR(Call("get_device_info"), kNative,
                     "kx_eeg_manager_get_device_info threw native exception: info 100% lost");
    EXPECT_MEX_ERROR(Call("get_device_features"), kNative,
                     "kx_eeg_manager_get_device_info threw native exception: info 100% lost");
    kxsim::ScriptThrowUnknown("kx_core_device_features_get");
    EXPECT_MEX_ERROR(Call("get_device_features"), kNative,
                     "kx_core_device_features_get threw an unknown native exception.");
    kxsim::ScriptThrow("kx_eeg_manager_get_battery_info", "no gauge");
    EXPECT_MEX_ERROR(Call("get_battery_info"), kNative,
                     "kx_eeg_manager_get_battery_info threw native exception: no gauge");
    kxsim::ScriptThrowUnknown("kx_eeg_manager_get_battery_info");
    EXPECT_MEX_ERROR(Call("get_battery_info"), kNative,
                     "kx_eeg_manager_get_battery_info threw an unknown native exception.");
    // The connection check belongs to the device-info query's wrapped run.
    kxsim::ScriptThrow("kx_eeg_manager_is_connected", "link state unknown");
    EXPECT_MEX_ERROR(Call("get_device_info"), kNative,
                     "kx_eeg_manager_get_device_info threw native exception: link state unknown");
    // The battery's connection check is not wrapped.
    kxsim::ScriptThrow("kx_eeg_manager_is_connected", "link state unknown");
    EXPECT_MEX_ERROR(Call("get_battery_info"), kRuntime, "link state unknown");
}

TEST_F(DeviceInfoTest, BatteryRecord_IsTakenAsItComes) {
    ConnectTo(CustomHeadset());
    kxsim::ScriptStatus("kx_eeg_manager_get_battery_info", 255);
    EXPECT_EQ(D(Field(Ok(Call("get_battery_info")), "battery_info"), "level"), 255);
}

// Loading a battery flag byte other than 0 or 1 as a bool was undefined behaviour.
TEST_F(DeviceInfoTest, BatteryFlags_AreReadAsBytes) {
    kxsim::Headset headset = CustomHeadset();
    const unsigned char two = 2;
    std::memcpy(&headset.battery.is_charger_connected, &two, 1);
    std::memcpy(&headset.battery.is_charging, &two, 1);
    ConnectTo(headset);
    const mxArray* battery = Field(Ok(Call("get_battery_info")), "battery_info");
    EXPECT_TRUE(B(battery, "is_charger_connected"));
    EXPECT_TRUE(B(battery, "is_charging"));
}

TEST_F(DeviceInfoTest, SamplePerPacket_InRange_IsReportedWithoutReadingTheConfig) {
    SetChunkSize(48);
    EXPECT_EQ(PacketSizeReported(1), 1);
    EXPECT_EQ(PacketSizeReported(4096), 4096);
    // Only the low 32 bits count.
    EXPECT_EQ(PacketSizeReported((1ull << 32) + 25), 25);
    EXPECT_EQ(kxsim::CountCalls("kx_core_get_config"), 0);
}

TEST_F(DeviceInfoTest, SamplePerPacket_OutOfRange_FallsBackToAPositiveConfiguredChunkSize) {
    SetChunkSize(48);
    EXPECT_EQ(PacketSizeReported(0), 48);
    EXPECT_EQ(PacketSizeReported(4097), 48);
    EXPECT_EQ(PacketSizeReported(0xFFFFFFFFull), 48);  // low bits read as -1
    EXPECT_EQ(PacketSizeReported(1ull << 32), 48);     // low bits 0
    // Only the configuration's low 32 bits count as well.
    SetChunkSize((1ull << 32) + 64);
    EXPECT_EQ(PacketSizeReported(0), 64);
}

TEST_F(DeviceInfoTest, SamplePerPacket_NoUsableChunkSize_ReportsTheValueUnchanged) {
    SetChunkSize(0);
    EXPECT_EQ(PacketSizeReported(5000), 5000);
    EXPECT_EQ(PacketSizeReported(0xFFFFFFFFull), -1);
    SetChunkSize(0x80000000ull);  // negative as a signed 32-bit value
    EXPECT_EQ(PacketSizeReported(0), 0);
    SetChunkSize(48);
    kxsim::ScriptStatus("kx_core_get_config", 3, -1);
    EXPECT_EQ(PacketSizeReported(4097), 4097);
}

TEST_F(DeviceInfoTest, SamplePerPacket_ConfigReadThrows_FailsAsNativeException) {
    kxsim::Headset headset = CustomHeadset();
    headset.sample_per_packet = 0;
    ConnectTo(headset);
    kxsim::ScriptThrow("kx_core_get_config", "config locked");
    EXPECT_MEX_ERROR(Call("get_device_info"), kNative, "kx_core_get_config threw native exception: config locked");
}

TEST_F(MockDeviceInfoTest, ConnectedToEitherMockHeadset_ReportsTheOneMockRecord) {
    for (const char* name : {"MOCK SOLA 001", "MOCK VELO 002"}) {
        ASSERT_TRUE(Call("connect", Struct({{"device_name", Str(name)}})).ok);
        const mxArray* info = Field(Ok(Call("get_device_info")), "device_info");
        EXPECT_EQ(S(Field(info, "device_model"), "name"), "SOLA") << name;
        EXPECT_EQ(D(Field(info, "device_model"), "value"), 5);
        EXPECT_EQ(S(Field(info, "hardware_version"), "text"), "2.1.0");
        EXPECT_EQ(S(Field(info, "firmware_version"), "text"), "3.6.1");
        EXPECT_EQ(D(info, "sample_per_packet"), 25);
        EXPECT_EQ(D(info, "serial_number"), 123456789);

        const mxArray* features = Field(Ok(Call("get_device_features")), "device_features");
        EXPECT_EQ(D(features, "electrode_count"), 8);
        EXPECT_FALSE(B(features, "has_accel"));
        EXPECT_FALSE(B(features, "has_gyro"));
        EXPECT_FALSE(B(features, "is_bipolar"));

        const mxArray* battery = Field(Ok(Call("get_battery_info")), "battery_info");
        EXPECT_EQ(D(battery, "level"), 87);
        EXPECT_FALSE(B(battery, "is_charger_connected"));
        EXPECT_FALSE(B(battery, "is_charging"));
    }
    EXPECT_TRUE(kxsim::Calls().empty());
}

TEST_F(MockDeviceInfoTest, NoMockDeviceConnected_AllThreeFailAsNotConnected) {
    for (const char* command : kInfoCommands) {
        EXPECT_MEX_ERROR(Call(command), kNotConnected, "No device connected. Call kx_connect first.");
    }
    ASSERT_TRUE(Call("connect", Struct({{"device_name", Str("MOCK SOLA 001")}})).ok);
    ASSERT_TRUE(Call("disconnect").ok);
    for (const char* command : kInfoCommands) {
        EXPECT_MEX_ERROR(Call(command), kNotConnected, "No device connected. Call kx_connect first.");
    }
}

}  // namespace
}  // namespace kxtest
