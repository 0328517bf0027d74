// scan, connect and disconnect on both backends: the temporary core of scan,
// the outcomes and failures of connect, and the teardown of a connection.
#include "gateway_fixture.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kxtest {
namespace {

using mxhost::Dims;
using mxhost::Field;
using mxhost::FieldNames;
using mxhost::Str;
using mxhost::Struct;
using Clock = std::chrono::steady_clock;

constexpr const char* kNative = "kestrix:sdk:nativeException";
constexpr const char* kInvalid = "kestrix:mex:invalidArgument";
constexpr const char* kRuntime = "kestrix:mex:runtimeError";

const std::vector<std::string> kConnectFields = {"connected",   "device_features",     "device_info",
                                                 "device_name", "incompatible_stream", "message",
                                                 "status",      "status_name"};
const std::vector<std::string> kDisconnectFields = {"disconnected", "drained_chunks", "was_connected", "was_streaming"};

Array NamePayload(const std::string& name) {
    return Struct({{"device_name", Str(name)}});
}

// Name and MAC of every row of a scan result's "devices".
std::vector<std::pair<std::string, std::string>> Rows(const mxArray* scan) {
    const mxArray* devices = Field(scan, "devices");
    std::vector<std::pair<std::string, std::string>> rows;
    for (std::size_t k = 0; k < mxGetNumberOfElements(devices); ++k) {
        rows.emplace_back(mxhost::AsString(mxGetField(devices, k, "name")),
                          mxhost::AsString(mxGetField(devices, k, "mac_address")));
    }
    return rows;
}

bool IsEmptyDouble(const mxArray* value) {
    return mxhost::ClassName(value) == "double" && Dims(value) == std::vector<std::size_t>{0, 0};
}

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ConnectionTest : public GatewayTest {
protected:
    void SetUp() override {
        GatewayTest::SetUp();
        kxsim::SetConnectPlan({0, 20, 20, true, -1});
    }

    const mxArray* Connect(const std::string& name) { return Ok(Call("connect", NamePayload(name))); }

    // Names of the calls from the first one named `from` on.
    static std::vector<std::string> CallsFrom(const std::string& from) {
        std::vector<std::string> names = kxsim::CallNames();
        for (std::size_t k = 0; k < names.size(); ++k) {
            if (names[k] == from) {
                return std::vector<std::string>(names.begin() + static_cast<std::ptrdiff_t>(k), names.end());
            }
        }
        return {};
    }
};

class MockConnectionTest : public MockGatewayTest {};

// ---- scan, real backend -----------------------------------------------------

TEST_F(ConnectionTest, Scan_NoCore_StartsScansAndClosesATemporaryCoreWithoutLocking) {
    const mxArray* scan = Ok(Call("scan"));
    EXPECT_EQ(FieldNames(scan), std::vector<std::string>{"devices"});
    EXPECT_EQ(FieldNames(Field(scan, "devices")), (std::vector<std::string>{"name", "mac_address"}));
    EXPECT_EQ(Dims(Field(scan, "devices")), (std::vector<std::size_t>{2, 1}));
    std::vector<std::pair<std::string, std::string>> expected;
    for (const kxsim::Headset& headset : kxsim::DefaultHeadsets()) {
        expected.emplace_back(headset.name, headset.mac);
    }
    EXPECT_EQ(Rows(scan), expected);
    EXPECT_EQ(kxsim::CallNames(), (std::vector<std::string>{"kx_core_init", "kx_core_scan", "kx_core_close"}));
    EXPECT_FALSE(B(Ok(Call("status")), "core_initialized"));
    EXPECT_FALSE(mex().IsLocked());
}

TEST_F(ConnectionTest, Scan_AlreadyInitialisedOrStatusSeven_ClosesOnlyWhatItStarted) {
    ASSERT_TRUE(Call("init").ok);
    kxsim::ClearCalls();
    Ok(Call("scan"));
    EXPECT_EQ(kxsim::CallNames(), std::vector<std::string>{"kx_core_scan"}) << "a running core stays running";
    ASSERT_TRUE(Call("close").ok);

    kxsim::ClearCalls();
    kxsim::ScriptStatus("kx_core_init", 7);
    Ok(Call("scan"));
    EXPECT_EQ(kxsim::CallNames(), (std::vector<std::string>{"kx_core_init", "kx_core_scan", "kx_core_close"}));
    EXPECT_FALSE(mex().IsLocked());
}

TEST_F(ConnectionTest, Scan_NoHeadsetsFound_ReturnsA0x1StructArrayWithBothFields) {
    kxsim::SetHeadsets({});
    const mxArray* devices = Field(Ok(Call("scan")), "devices");
    EXPECT_EQ(mxhost::ClassName(devices), "struct");
    EXPECT_EQ(Dims(devices), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(FieldNames(devices), (std::vector<std::string>{"name", "mac_address"}));
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 1);
}

// Rows announced without a list were answered as "no headsets", a failure reported as success.
TEST_F(ConnectionTest, Scan_CountWithoutAList_FailsAndClosesTheTemporaryCore) {
    kxsim::ScriptNullList("kx_core_scan", 2);
    EXPECT_MEX_ERROR(Call("scan"), "kestrix:mex:runtimeError", "kx_core_scan returned null.");
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 1);
    kxsim::ScriptNull("kx_core_scan");
    EXPECT_EQ(Dims(Field(Ok(Call("scan")), "devices")), (std::vector<std::size_t>{0, 1}));
}

TEST_F(ConnectionTest, Scan_NullNameOrAddress_GivesEmptyText) {
    std::vector<kxsim::Headset> headsets = kxsim::DefaultHeadsets();
    headsets[0].null_name = true;
    headsets[1].null_mac = true;
    kxsim::SetHeadsets(headsets);
    const auto rows = Rows(Ok(Call("scan")));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], std::make_pair(std::string(), headsets[0].mac));
    EXPECT_EQ(rows[1], std::make_pair(headsets[1].name, std::string()));
}

TEST_F(ConnectionTest, Scan_TemporaryStartFails_ReportsAndNeverCloses) {
    kxsim::ScriptStatus("kx_core_init", 5);
    EXPECT_MEX_ERROR(Call("scan"), "kestrix:sdk:bluetoothAdapterNotFound",
                     "Temporary kx_core_init failed with status KX_INIT_ERROR_NOT_FOUND.");
    kxsim::ScriptStatus("kx_core_init", 200);
    EXPECT_MEX_ERROR(Call("scan"), "kestrix:sdk:initFailed",
                     "Temporary kx_core_init failed with status KX_INIT_ERROR_UNKNOWN.");
    kxsim::ScriptThrow("kx_core_init", "adapter 100% gone");
    EXPECT_MEX_ERROR(Call("scan"), kNative, "kx_core_init threw native exception: adapter 100% gone");
    kxsim::ScriptThrowUnknown("kx_core_init");
    EXPECT_MEX_ERROR(Call("scan"), kNative, "kx_core_init threw an unknown native exception.");

    EXPECT_EQ(kxsim::CountCalls("kx_core_scan"), 0);
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 0);
    EXPECT_FALSE(B(Ok(Call("status")), "core_initialized"));
    EXPECT_FALSE(mex().IsLocked());
}

TEST_F(ConnectionTest, Scan_ScanFailsAfterATemporaryStart_ClosesTheCoreBeforeReporting) {
    kxsim::ScriptStatus("kx_core_scan", 4);
    EXPECT_MEX_ERROR(Call("scan"), "kestrix:sdk:bluetoothNotEnabled",
                     "kx_core_scan failed with status KX_ERROR_BLUETOOTH_DISABLED.");
    kxsim::ScriptThrow("kx_core_scan", "radio off");
    EXPECT_MEX_ERROR(Call("scan"), kNative, "kx_core_scan threw native exception: radio off");
    kxsim::ScriptThrowUnknown("kx_core_scan");
    EXPECT_MEX_ERROR(Call("scan"), kNative, "kx_core_scan threw an unknown native exception.");
    // A throwing close is swallowed; the scan result still comes back.
    kxsim::ScriptThrow("kx_core_close", "close failed");
    EXPECT_EQ(Rows(Ok(Call("scan"))).size(), 2u);

    EXPECT_EQ(kxsim::CountCalls("kx_core_init"), 4);
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 4);
    EXPECT_FALSE(B(Ok(Call("status")), "core_initialized"));
    EXPECT_FALSE(mex().IsLocked());
}

TEST_F(ConnectionTest, Scan_ScanFailsWithTheCoreRunning_LeavesTheCoreRunning) {
    ASSERT_TRUE(Call("init").ok);
    kxsim::ScriptStatus("kx_core_scan", 1);
    EXPECT_MEX_ERROR(Call("scan"), "kestrix:sdk:connection", "kx_core_scan failed with status KX_ERROR_CONNECTION.");
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 0);
    EXPECT_TRUE(B(Ok(Call("status")), "core_initialized"));
}

// ---- connect, real backend --------------------------------------------------

TEST_F(ConnectionTest, Connect_MissingOrInvalidName_FailsBeforeTheCoreIsTouched) {
    const std::string message = "\"device_name\" must be a non-empty string.";
    EXPECT_MEX_ERROR(Call("connect"), kInvalid, message);
    EXPECT_MEX_ERROR(Call("connect", Struct({})), kInvalid, message);
    EXPECT_MEX_ERROR(Call("connect", NamePayload("")), kInvalid, message);
    EXPECT_MEX_ERROR(Call("connect", Struct({{"device_name", mxhost::Num(7)}})), kInvalid, message);
    EXPECT_TRUE(kxsim::Calls().empty());
    EXPECT_FALSE(mex().IsLocked());
}

TEST_F(ConnectionTest, Connect_LinkComesUp_AnswersConnectedWithTheHeadsetsRecords) {
    const kxsim::Headset zem = kxsim::DefaultHeadsets()[1];
    const mxArray* result = Connect(zem.name);
    EXPECT_EQ(FieldNames(result), kConnectFields);
    EXPECT_TRUE(B(result, "connected"));
    EXPECT_EQ(S(result, "device_name"), zem.name);
    EXPECT_FALSE(B(result, "incompatible_stream"));
    EXPECT_EQ(D(result, "status"), 0);
    EXPECT_EQ(S(result, "status_name"), "success");
    EXPECT_EQ(S(result, "message"), "Connected successfully.");
    const mxArray* info = Field(result, "device_info");
    EXPECT_EQ(S(Field(info, "device_model"), "name"), "ZEM");
    EXPECT_EQ(D(info, "sample_per_packet"), static_cast<double>(zem.sample_per_packet));
    const mxArray* features = Field(result, "device_features");
    EXPECT_EQ(D(features, "electrode_count"), zem.electrodes);
    EXPECT_EQ(B(features, "has_accel"), zem.accel);

    const mxArray* status = Ok(Call("status"));
    EXPECT_TRUE(B(status, "connected"));
    EXPECT_TRUE(B(status, "manager_present"));
    EXPECT_TRUE(B(status, "core_initialized"));
    EXPECT_EQ(mex().LockCount(), 1);
    const std::vector<std::string> expected = {"kx_core_init", "kx_eeg_manager_new",
                                               "kx_eeg_manager_set_callback_disconnect", "kx_eeg_manager_connect"};
    const std::vector<std::string> names = kxsim::CallNames();
    ASSERT_GE(names.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4), expected);
}

TEST_F(ConnectionTest, Connect_CallbackReportsFailure_AnswersAtOnceNotConnectedAndFreesTheManager) {
    kxsim::SetConnectPlan({0, -1, 400, false, -1});
    const Clock::time_point start = Clock::now();
    const mxArray* result = Connect("SIM SOLA 101");
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 400);
    EXPECT_LT(elapsed, 5000) << "a reported failure ends the wait";
    EXPECT_FALSE(B(result, "connected"));
    EXPECT_EQ(D(result, "status"), 0);
    EXPECT_EQ(S(result, "status_name"), "connection_failed");
    EXPECT_EQ(S(result, "message"), "Connection failed.");
    EXPECT_TRUE(IsEmptyDouble(Field(result, "device_info")));
    EXPECT_TRUE(IsEmptyDouble(Field(result, "device_features")));
    EXPECT_FALSE(B(Ok(Call("status")), "manager_present"));
    EXPECT_EQ(kxsim::LiveManagers(), 0);
    EXPECT_TRUE(B(Ok(Call("status")), "core_initialized"));
}

TEST_F(ConnectionTest, Connect_CallbackSuccessBeforeTheLink_KeepsWaitingForTheLink) {
    kxsim::SetConnectPlan({0, 600, 10, true, -1});
    const Clock::time_point start = Clock::now();
    const mxArray* result = Connect("SIM SOLA 101");
    EXPECT_GE(MillisecondsSince(start), 600);
    EXPECT_TRUE(B(result, "connected"));
}

TEST_F(ConnectionTest, Connect_StatusTwo_ReportsAnIncompatibleStreamWhetherOrNotTheLinkComesUp) {
    kxsim::SetConnectPlan({2, 20, 20, true, -1});
    const mxArray* linked = Connect("SIM SOLA 101");
    EXPECT_TRUE(B(linked, "connected"));
    EXPECT_TRUE(B(linked, "incompatible_stream"));
    EXPECT_EQ(D(linked, "status"), 2);
    EXPECT_EQ(S(linked, "status_name"), "incompatible_stream");
    EXPECT_EQ(S(linked, "message"), "Device stream is incompatible. Update the firmware.");
    EXPECT_EQ(FieldNames(Field(linked, "device_info")).size(), 5u);
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:sdk:unsupportedDevice",
                     "Stream is incompatible. Update the firmware.");

    kxsim::SetConnectPlan({2, -1, 20, false, -1});
    const mxArray* unlinked = Connect("SIM SOLA 101");
    EXPECT_FALSE(B(unlinked, "connected"));
    EXPECT_EQ(D(unlinked, "status"), 2);
    EXPECT_EQ(S(unlinked, "status_name"), "incompatible_stream");
    EXPECT_TRUE(IsEmptyDouble(Field(unlinked, "device_info")));
    EXPECT_EQ(kxsim::LiveManagers(), 0);
}

TEST_F(ConnectionTest, Connect_FailingStatus_ReportsItAndLeavesNoManager) {
    struct Row {
        int status;
        const char* identifier;
        const char* name;
    };
    const Row rows[] = {{1, "kestrix:sdk:connection", "KX_ERROR_CONNECTION"},
                        {3, "kestrix:sdk:wrongValue", "KX_ERROR_WRONG_VALUE"},
                        {11, "kestrix:sdk:noDevicesFound", "KX_ERROR_NO_DEVICES_FOUND"},
                        {14, "kestrix:sdk:pathNotFound", "KX_ERROR_PATH_NOT_FOUND"},
                        {99, "kestrix:sdk:error", "KX_ERROR_UNKNOWN"}};
    for (const Row& row : rows) {
        kxsim::ScriptStatus("kx_eeg_manager_connect", row.status);
        EXPECT_MEX_ERROR(Call("connect", NamePayload("SIM SOLA 101")), row.identifier,
                         std::string("kx_eeg_manager_connect failed with status ") + row.name + ".");
        EXPECT_EQ(kxsim::LiveManagers(), 0) << row.status;
        EXPECT_FALSE(B(Ok(Call("status")), "manager_present")) << row.status;
    }
    // A headset the SDK does not know fails the same way, with the SDK's own status.
    EXPECT_MEX_ERROR(Call("connect", NamePayload("NOT IN RANGE")), "kestrix:sdk:connection",
                     "kx_eeg_manager_connect failed with status KX_ERROR_CONNECTION.");
    EXPECT_TRUE(B(Ok(Call("status")), "core_initialized"));
}

TEST_F(ConnectionTest, Connect_ConnectThrows_ReportsTheTextAndLeavesNoManager) {
    kxsim::ScriptThrow("kx_eeg_manager_connect", "stack 50% exhausted");
    EXPECT_MEX_ERROR(Call("connect", NamePayload("SIM SOLA 101")), kNative,
                     "kx_eeg_manager_connect threw native exception: stack 50% exhausted");
    kxsim::ScriptThrowUnknown("kx_eeg_manager_connect");
    EXPECT_MEX_ERROR(Call("connect", NamePayload("SIM SOLA 101")), kNative,
                     "kx_eeg_manager_connect threw native exception: unknown native exception");
    // No text to report: the status the worker never received is reported instead.
    kxsim::ScriptThrow("kx_eeg_manager_connect", "");
    EXPECT_MEX_ERROR(Call("connect", NamePayload("SIM SOLA 101")), "kestrix:sdk:error",
                     "kx_eeg_manager_connect failed with status KX_ERROR_UNKNOWN.");
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_free"), 3);
    EXPECT_EQ(kxsim::LiveManagers(), 0);
}

TEST_F(ConnectionTest, Connect_ManagerNotCreated_FailsWithTheOldConnectionGone) {
    Connect("SIM SOLA 101");
    kxsim::ScriptNull("kx_eeg_manager_new");
    EXPECT_MEX_ERROR(Call("connect", NamePayload("SIM ZEM 202")), kRuntime, "kx_eeg_manager_new returned null.");
    EXPECT_EQ(kxsim::LiveManagers(), 0);
    const mxArray* status = Ok(Call("status"));
    EXPECT_FALSE(B(status, "manager_present"));
    EXPECT_TRUE(B(status, "core_initialized"));

    kxsim::ScriptThrow("kx_eeg_manager_new", "out of handles");
    EXPECT_MEX_ERROR(Call("connect", NamePayload("SIM ZEM 202")), kRuntime, "out of handles");
}

TEST_F(ConnectionTest, Connect_DisconnectCallbackRegistrationThrows_IsIgnored) {
    kxsim::ScriptThrow("kx_eeg_manager_set_callback_disconnect", "not now");
    EXPECT_TRUE(B(Connect("SIM SOLA 101"), "connected"));
}

TEST_F(ConnectionTest, Connect_NoDeviceInfoOrNoFeatures_ConnectsWithEmptyRecords) {
    kxsim::ScriptNull("kx_eeg_manager_get_device_info");
    const mxArray* no_info = Connect("SIM SOLA 101");
    EXPECT_TRUE(B(no_info, "connected"));
    EXPECT_TRUE(IsEmptyDouble(Field(no_info, "device_info")));
    EXPECT_TRUE(IsEmptyDouble(Field(no_info, "device_features")));
    EXPECT_EQ(kxsim::CountCalls("kx_core_device_features_get"), 0);

    kxsim::ScriptNull("kx_core_device_features_get");
    const mxArray* no_features = Connect("SIM SOLA 101");
    EXPECT_TRUE(B(no_features, "connected"));
    EXPECT_EQ(S(Field(Field(no_features, "device_info"), "device_model"), "name"), "SOLA");
    EXPECT_TRUE(IsEmptyDouble(Field(no_features, "device_features")));
}

TEST_F(ConnectionTest, Connect_DeviceQueriesThrow_FailsWithTheConnectionKept) {
    kxsim::ScriptThrow("kx_eeg_manager_get_device_info", "info gone");
    EXPECT_MEX_ERROR(Call("connect", NamePayload("SIM SOLA 101")), kNative,
                     "kx_eeg_manager_get_device_info threw native exception: info gone");
    EXPECT_TRUE(B(Ok(Call("is_connected")), "connected"));

    kxsim::ScriptThrowUnknown("kx_core_device_features_get");
    EXPECT_MEX_ERROR(Call("connect", NamePayload("SIM SOLA 101")), kNative,
                     "kx_core_device_features_get threw an unknown native exception.");
    EXPECT_TRUE(B(Ok(Call("is_connected")), "connected"));
    EXPECT_EQ(kxsim::LiveManagers(), 1);
}

TEST_F(ConnectionTest, Connect_SecondConnect_TearsTheFirstDownInOrderBeforeCreatingTheNew) {
    Connect("SIM SOLA 101");
    kxsim::ClearCalls();
    const mxArray* second = Connect("SIM ZEM 202");
    EXPECT_EQ(S(second, "device_name"), "SIM ZEM 202");
    EXPECT_EQ(S(Field(Field(second, "device_info"), "device_model"), "name"), "ZEM");

    const std::vector<kxsim::CallRecord> calls = kxsim::Calls();
    const std::vector<std::string> teardown = {"kx_eeg_manager_set_callback_chunk",
                                               "kx_eeg_manager_set_callback_disconnect",
                                               "kx_eeg_manager_is_streaming",
                                               "kx_eeg_manager_is_connected",
                                               "kx_eeg_manager_disconnect",
                                               "kx_eeg_manager_free",
                                               "kx_eeg_manager_new"};
    ASSERT_GE(calls.size(), teardown.size());
    for (std::size_t k = 0; k < teardown.size(); ++k) {
        EXPECT_EQ(calls[k].op, teardown[k]) << k;
        if (k + 1 < teardown.size()) {
            EXPECT_EQ(calls[k].args.rfind("m1", 0), 0u) << calls[k].op << "(" << calls[k].args << ")";
        }
    }
    EXPECT_EQ(kxsim::LiveManagers(), 1);
}

TEST_F(ConnectionTest, Connect_CallbackDueAfterTheLink_AnswersOnTheLinkWithoutWaitingForIt) {
    kxsim::SetConnectPlan({0, 50, 1500, true, -1});
    const Clock::time_point start = Clock::now();
    const mxArray* result = Connect("SIM SOLA 101");
    EXPECT_LT(MillisecondsSince(start), 1500) << "the link, not the callback, ends the wait";
    EXPECT_TRUE(B(result, "connected"));
    EXPECT_EQ(S(result, "status_name"), "success");
    // The first manager is freed with its callback still due.
    EXPECT_TRUE(B(Connect("SIM ZEM 202"), "connected"));
    EXPECT_EQ(kxsim::LiveManagers(), 1);
}

// ---- disconnect, real backend -----------------------------------------------

TEST_F(ConnectionTest, Disconnect_NothingConnected_SucceedsWithoutTheSdk) {
    const mxArray* result = Ok(Call("disconnect"));
    EXPECT_EQ(FieldNames(result), kDisconnectFields);
    EXPECT_TRUE(B(result, "disconnected"));
    EXPECT_EQ(D(result, "drained_chunks"), 0);
    EXPECT_FALSE(B(result, "was_connected"));
    EXPECT_FALSE(B(result, "was_streaming"));
    EXPECT_TRUE(kxsim::Calls().empty());
}

TEST_F(ConnectionTest, Disconnect_WhileStreaming_DrainsTheBufferAndKeepsTheCore) {
    Connect("SIM SOLA 101");
    kxsim::SetManualStream(true);
    ASSERT_TRUE(Call("start_stream").ok);
    ASSERT_TRUE(kxsim::EmitChunks(3));
    const mxArray* result = Ok(Call("disconnect"));
    EXPECT_TRUE(B(result, "was_connected"));
    EXPECT_TRUE(B(result, "was_streaming"));
    EXPECT_EQ(D(result, "drained_chunks"), 3);
    EXPECT_EQ(kxsim::LiveManagers(), 0);
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_stop_stream"), 1);
    EXPECT_FALSE(B(Field(Ok(Call("read_chunk")), "meta"), "available"));

    const mxArray* status = Ok(Call("status"));
    EXPECT_FALSE(B(status, "manager_present"));
    EXPECT_TRUE(B(status, "core_initialized"));
    EXPECT_TRUE(mex().IsLocked());
}

TEST_F(ConnectionTest, Disconnect_LinkDroppedEarlier_ReportsNotConnectedAndStillFrees) {
    Connect("SIM SOLA 101");
    kxsim::DropLink();
    const mxArray* result = Ok(Call("disconnect"));
    EXPECT_FALSE(B(result, "was_connected"));
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_disconnect"), 0);
    EXPECT_EQ(kxsim::LiveManagers(), 0);
}

// ---- mock backend -----------------------------------------------------------

TEST_F(MockConnectionTest, Scan_ReturnsTheTwoMockHeadsetsAndStartsTheMockCore) {
    const mxArray* scan = Ok(Call("scan"));
    EXPECT_EQ(Dims(Field(scan, "devices")), (std::vector<std::size_t>{2, 1}));
    EXPECT_EQ(Rows(scan), (std::vector<std::pair<std::string, std::string>>{{"MOCK SOLA 001", "00:11:22:33:44:55"},
                                                                            {"MOCK VELO 002", "66:77:88:99:AA:BB"}}));
    EXPECT_TRUE(B(Ok(Call("status")), "core_initialized"));
    EXPECT_TRUE(mex().IsLocked());
    EXPECT_TRUE(kxsim::Calls().empty());
}

TEST_F(MockConnectionTest, Connect_AnyName_ConnectsWithTheMockRecords) {
    EXPECT_MEX_ERROR(Call("connect"), kInvalid, "\"device_name\" must be a non-empty string.");
    const mxArray* result = Ok(Call("connect", NamePayload("no such headset")));
    EXPECT_EQ(FieldNames(result), kConnectFields);
    EXPECT_TRUE(B(result, "connected"));
    EXPECT_EQ(S(result, "device_name"), "no such headset");
    EXPECT_FALSE(B(result, "incompatible_stream"));
    EXPECT_EQ(D(result, "status"), 0);
    EXPECT_EQ(S(result, "status_name"), "success");
    EXPECT_EQ(S(result, "message"), "Connected successfully.");
    EXPECT_EQ(S(Field(Field(result, "device_info"), "device_model"), "name"), "SOLA");
    EXPECT_EQ(D(Field(result, "device_features"), "electrode_count"), 8);
    const mxArray* status = Ok(Call("status"));
    EXPECT_TRUE(B(status, "manager_present"));
    EXPECT_TRUE(B(status, "connected"));
    EXPECT_TRUE(kxsim::Calls().empty());
}

TEST_F(MockConnectionTest, ConnectAndDisconnect_WhileStreaming_StopTheMockStream) {
    Ok(Call("connect", NamePayload("MOCK SOLA 001")));
    ASSERT_TRUE(Call("start_stream").ok);
    EXPECT_TRUE(B(Ok(Call("connect", NamePayload("MOCK VELO 002"))), "connected"));
    EXPECT_FALSE(B(Ok(Call("is_streaming")), "streaming"));

    ASSERT_TRUE(Call("start_stream").ok);
    const mxArray* result = Ok(Call("disconnect"));
    EXPECT_TRUE(B(result, "was_connected"));
    EXPECT_TRUE(B(result, "was_streaming"));
    const mxArray* status = Ok(Call("status"));
    EXPECT_FALSE(B(status, "connected"));
    EXPECT_FALSE(B(status, "streaming"));
    EXPECT_FALSE(B(status, "manager_present"));
    EXPECT_FALSE(B(Field(Ok(Call("read_chunk")), "meta"), "available"));

    const mxArray* again = Ok(Call("disconnect"));
    EXPECT_FALSE(B(again, "was_connected"));
    EXPECT_EQ(D(again, "drained_chunks"), 0);
}

// ---- the 30-second wait -----------------------------------------------------

class ConnectSlowWaitTest : public GatewayTest {};

TEST_F(ConnectSlowWaitTest, Connect_CallbackSuccessButNoLink_GivesUpAfterThirtySeconds) {
    kxsim::SetConnectPlan({0, -1, 100, true, -1});
    const Clock::time_point start = Clock::now();
    const mxArray* result = Ok(Call("connect", NamePayload("SIM SOLA 101")));
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 30000);
    EXPECT_LT(elapsed, 32000);
    EXPECT_FALSE(B(result, "connected"));
    EXPECT_EQ(S(result, "status_name"), "connection_failed");
    EXPECT_EQ(kxsim::LiveManagers(), 0);
}

}  // namespace
}  // namespace kxtest
