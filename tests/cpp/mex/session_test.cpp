// The session commands and core start: status, ping, is_connected,
// is_streaming, init and close, with the MEX lock they take and release.
#include "gateway_fixture.h"

#include <cstring>

namespace kxtest {
namespace {

using mxhost::Field;
using mxhost::FieldNames;

const std::vector<std::string> kStatusFields = {
    "backend", "backend_variant", "connected", "core_initialized", "manager_present", "mode", "streaming"};

class SessionTest : public GatewayTest {};
class MockSessionTest : public MockGatewayTest {};

TEST_F(SessionTest, FreshSession_ReportsNothingStartedAndPingEqualsStatus) {
    const mxArray* status = Ok(Call("status"));
    EXPECT_EQ(FieldNames(status), kStatusFields);
    EXPECT_EQ(S(status, "backend"), "kestrix-matlab-api");
    EXPECT_EQ(S(status, "backend_variant"), "mex");
    EXPECT_EQ(S(status, "mode"), "persistent");
    for (const char* flag : {"connected", "core_initialized", "manager_present", "streaming"}) {
        EXPECT_FALSE(B(status, flag)) << flag;
    }
    const mxArray* ping = Ok(Call("ping"));
    EXPECT_EQ(mxhost::Describe(ping), mxhost::Describe(status));
    EXPECT_FALSE(B(Ok(Call("is_connected")), "connected"));
    EXPECT_FALSE(B(Ok(Call("is_streaming")), "streaming"));
    EXPECT_EQ(FieldNames(Ok(Call("is_connected"))), std::vector<std::string>{"connected"});
    EXPECT_EQ(FieldNames(Ok(Call("is_streaming"))), std::vector<std::string>{"streaming"});
    EXPECT_EQ(kxsim::Calls().size(), 0u) << "a fresh session asks the SDK nothing";
}

TEST_F(SessionTest, Init_ReportsTheSdkVersionAndConfiguration) {
    kxsim::SetVersion({10, 0, 255});
    sKXCORE_Config_t config = kxsim::DefaultConfig();
    config.log_buffer_size = (1ull << 63) + 2048;  // stays positive through the double conversion
    config.adapter_index = 3;
    kxsim::SetConfig(config);

    const mxArray* init = Ok(Call("init"));
    EXPECT_EQ(FieldNames(init),
              (std::vector<std::string>{"backend", "backend_variant", "config", "core_version", "mode"}));
    EXPECT_EQ(S(init, "backend_variant"), "mex");
    const mxArray* version = mxhost::Field(init, "core_version");
    EXPECT_EQ(FieldNames(version), (std::vector<std::string>{"major", "minor", "patch", "text"}));
    EXPECT_EQ(S(version, "text"), "10.0.255");
    EXPECT_EQ(D(version, "patch"), 255);

    const mxArray* cfg = mxhost::Field(init, "config");
    EXPECT_EQ(FieldNames(cfg), (std::vector<std::string>{"log_buffer_size", "log_path", "log_level", "append_logs",
                                                         "timestamps_enabled", "autoflush", "thread_ids_enabled",
                                                         "chunk_size", "enable_logs", "update_path", "adapter_index"}));
    EXPECT_EQ(D(cfg, "log_buffer_size"), 9223372036854777856.0);
    EXPECT_EQ(S(cfg, "log_path"), std::string(config.log_path));
    EXPECT_EQ(B(cfg, "timestamps_enabled"), config.timestamps_enabled);
    EXPECT_EQ(D(cfg, "chunk_size"), static_cast<double>(config.chunk_size));
    EXPECT_EQ(S(cfg, "update_path"), std::string(config.update_path));
    EXPECT_EQ(D(cfg, "adapter_index"), 3);
    EXPECT_TRUE(B(Ok(Call("status")), "core_initialized"));
}

TEST_F(SessionTest, Init_ReadsUnterminatedPathsWithinTheirField) {
    sKXCORE_Config_t config = kxsim::DefaultConfig();
    std::memset(config.log_path, 'a', sizeof(config.log_path));
    std::memset(config.update_path, 'u', sizeof(config.update_path));
    kxsim::SetConfig(config);
    const mxArray* cfg = mxhost::Field(Ok(Call("init")), "config");
    EXPECT_EQ(S(cfg, "log_path"), std::string(200, 'a'));
    EXPECT_EQ(S(cfg, "update_path"), std::string(200, 'u'));
}

// The SDK's flag bytes were loaded as C++ bools, undefined for any byte but 0 and 1.
TEST_F(SessionTest, Init_ReadsConfigurationFlagsAsBytes) {
    sKXCORE_Config_t config = kxsim::DefaultConfig();
    const unsigned char two = 2;
    const unsigned char zero = 0;
    std::memcpy(&config.append_logs, &two, 1);
    std::memcpy(&config.thread_ids_enabled, &two, 1);
    std::memcpy(&config.enable_logs, &two, 1);
    std::memcpy(&config.timestamps_enabled, &zero, 1);
    kxsim::SetConfig(config);
    const mxArray* cfg = mxhost::Field(Ok(Call("init")), "config");
    EXPECT_TRUE(B(cfg, "append_logs"));
    EXPECT_TRUE(B(cfg, "thread_ids_enabled"));
    EXPECT_TRUE(B(cfg, "enable_logs"));
    EXPECT_FALSE(B(cfg, "timestamps_enabled"));
}

TEST_F(SessionTest, InitStatusesZeroAndSeven_BothStartTheCoreAndLockOnce) {
    for (int status : {0, 7}) {
        kxsim::ScriptStatus("kx_core_init", status);
        ASSERT_TRUE(Call("init").ok) << status;
        EXPECT_TRUE(mex().IsLocked());
        EXPECT_EQ(mex().LockCount(), 1);
        ASSERT_TRUE(Call("init").ok);
        EXPECT_EQ(mex().LockCount(), 1) << "a second init does not lock again";
        EXPECT_EQ(kxsim::CountCalls("kx_core_init"), 1) << "a second init does not start the core again";
        ASSERT_TRUE(Call("close").ok);
        EXPECT_FALSE(mex().IsLocked());
        kxsim::ClearCalls();
    }
}

TEST_F(SessionTest, FailingInitStatus_IsOneErrorAndChangesNothing) {
    struct Case {
        int status;
        const char* identifier;
        const char* name;
    } cases[] = {{1, "kestrix:sdk:configType", "KX_INIT_ERROR_CONFIG_TYPE"},
                 {4, "kestrix:sdk:bluetoothNotEnabled", "KX_INIT_ERROR_NOT_ENABLED"},
                 {5, "kestrix:sdk:bluetoothAdapterNotFound", "KX_INIT_ERROR_NOT_FOUND"},
                 {8, "kestrix:sdk:invalidPath", "KX_INIT_ERROR_INVALID_PATH"},
                 {9, "kestrix:sdk:initFailed", "KX_INIT_ERROR_UNKNOWN"},
                 {255, "kestrix:sdk:initFailed", "KX_INIT_ERROR_UNKNOWN"}};
    for (const Case& c : cases) {
        kxsim::ScriptStatus("kx_core_init", c.status);
        EXPECT_MEX_ERROR(Call("init"), c.identifier, std::string("kx_core_init failed with status ") + c.name + ".");
        EXPECT_FALSE(B(Ok(Call("status")), "core_initialized"));
        EXPECT_FALSE(mex().IsLocked());
    }
    ASSERT_TRUE(Call("init").ok) << "the next command tries again";
}

TEST_F(SessionTest, VersionOrConfigFailure_LeavesTheCoreStartedAndLocked) {
    kxsim::ScriptNull("kx_core_get_version");
    EXPECT_MEX_ERROR(Call("init"), "kestrix:mex:runtimeError", "kx_core_get_version returned null.");
    EXPECT_TRUE(mex().IsLocked());
    kxsim::ScriptStatus("kx_core_get_config", 3);
    EXPECT_MEX_ERROR(Call("init"), "kestrix:sdk:wrongValue",
                     "kx_core_get_config failed with status KX_ERROR_WRONG_VALUE.");
    kxsim::ScriptStatus("kx_core_get_config", 77);
    EXPECT_MEX_ERROR(Call("init"), "kestrix:sdk:error", "kx_core_get_config failed with status KX_ERROR_UNKNOWN.");
    EXPECT_TRUE(B(Ok(Call("status")), "core_initialized"));
    EXPECT_EQ(kxsim::CountCalls("kx_core_init"), 1);
}

TEST_F(SessionTest, CloseOnAFreshSession_ReportsAndCallsNothing) {
    const mxArray* closed = Ok(Call("close"));
    EXPECT_EQ(FieldNames(closed), (std::vector<std::string>{"closed", "disconnected", "mode", "stopped"}));
    EXPECT_TRUE(B(closed, "closed"));
    EXPECT_FALSE(B(closed, "disconnected"));
    EXPECT_TRUE(B(closed, "stopped"));
    EXPECT_EQ(S(closed, "mode"), "persistent");
    EXPECT_EQ(kxsim::Calls().size(), 0u);
    EXPECT_FALSE(mex().IsLocked());
}

TEST_F(SessionTest, CloseAfterInit_ClosesTheCoreOnceAndReleasesEveryLock) {
    ASSERT_TRUE(Call("init").ok);
    EXPECT_EQ(mex().LockCount(), 1);
    ASSERT_TRUE(Call("close").ok);
    EXPECT_EQ(mex().LockCount(), 0);
    EXPECT_FALSE(B(Ok(Call("status")), "core_initialized"));
    ASSERT_TRUE(Call("close").ok) << "a second close only reports";
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 1);
    ASSERT_TRUE(Call("init").ok) << "close does not end the session";
    EXPECT_EQ(kxsim::CountCalls("kx_core_init"), 2);
}

TEST_F(SessionTest, CloseWhenKxCoreCloseThrows_StillUnlocks) {
    ASSERT_TRUE(Call("init").ok);
    kxsim::ScriptThrow("kx_core_close", "bus error");
    ASSERT_TRUE(Call("close").ok);
    EXPECT_FALSE(mex().IsLocked());
    EXPECT_FALSE(B(Ok(Call("status")), "core_initialized"));
}

TEST_F(SessionTest, ExitHandler_ClosesTheCoreThatInitStarted) {
    ASSERT_TRUE(Call("init").ok);
    mex().ForceClear();
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 1);
}

class ConnectedSessionTest : public GatewayTest {
protected:
    void ConnectAndStream() {
        kxsim::SetConnectPlan({0, 10, 10, true, -1});
        kxsim::SetManualStream(true);
        ASSERT_TRUE(
            B(Ok(Call("connect", mxhost::Struct({{"device_name", mxhost::Str("SIM SOLA 101")}}))), "connected"));
        ASSERT_TRUE(Call("start_stream").ok);
        ASSERT_TRUE(kxsim::EmitChunks(2));
        kxsim::ClearCalls();
    }
};

TEST_F(ConnectedSessionTest, CloseWhileStreaming_DetachesStopsDisconnectsFreesThenClosesTheCore) {
    ConnectAndStream();
    const mxArray* closed = Ok(Call("close"));
    EXPECT_TRUE(B(closed, "disconnected"));
    EXPECT_TRUE(B(closed, "stopped"));
    EXPECT_EQ(kxsim::CallNames(),
              (std::vector<std::string>{"kx_eeg_manager_set_callback_chunk", "kx_eeg_manager_set_callback_disconnect",
                                        "kx_eeg_manager_is_streaming", "kx_eeg_manager_stop_stream",
                                        "kx_eeg_manager_is_connected", "kx_eeg_manager_disconnect",
                                        "kx_eeg_manager_free", "kx_core_close"}));
    EXPECT_EQ(kxsim::LiveManagers(), 0);
    EXPECT_FALSE(mex().IsLocked());
    const mxArray* status = Ok(Call("status"));
    EXPECT_FALSE(B(status, "manager_present"));
    EXPECT_FALSE(B(status, "core_initialized"));
    EXPECT_FALSE(B(Field(Ok(Call("read_chunk")), "meta"), "available")) << "close empties the buffer";
}

TEST_F(ConnectedSessionTest, CloseWhenTheStreamingQueryThrows_SkipsOnlyTheStop) {
    ConnectAndStream();
    kxsim::ScriptThrow("kx_eeg_manager_is_streaming", "query lost");
    ASSERT_TRUE(Call("close").ok);
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_stop_stream"), 0);
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_disconnect"), 1);
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_free"), 1);
    EXPECT_EQ(kxsim::LiveManagers(), 0);
    EXPECT_FALSE(B(Ok(Call("status")), "manager_present"));
}

TEST_F(ConnectedSessionTest, CloseWhenEveryTeardownCallThrows_StillFreesClosesAndUnlocks) {
    ConnectAndStream();
    for (const char* op : {"kx_eeg_manager_set_callback_chunk", "kx_eeg_manager_set_callback_disconnect",
                           "kx_eeg_manager_is_streaming", "kx_eeg_manager_is_connected", "kx_core_close"}) {
        kxsim::ScriptThrowUnknown(op);
    }
    const mxArray* closed = Ok(Call("close"));
    EXPECT_TRUE(B(closed, "disconnected"));
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_free"), 1);
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 1);
    EXPECT_EQ(kxsim::LiveManagers(), 0);
    EXPECT_FALSE(mex().IsLocked());
    const mxArray* status = Ok(Call("status"));
    EXPECT_FALSE(B(status, "manager_present"));
    EXPECT_FALSE(B(status, "core_initialized"));
}

TEST_F(ConnectedSessionTest, ExitHandlerWhileStreaming_TearsTheManagerDownAndClosesTheCore) {
    ConnectAndStream();
    mex().ForceClear();
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_stop_stream"), 1);
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_free"), 1);
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 1);
    EXPECT_EQ(kxsim::LiveManagers(), 0);
}

TEST_F(MockSessionTest, FreshMockSession_SaysMockAndCallsNoSdk) {
    const mxArray* status = Ok(Call("status"));
    EXPECT_EQ(S(status, "backend_variant"), "mock");
    EXPECT_FALSE(B(status, "core_initialized"));
    const mxArray* init = Ok(Call("init"));
    EXPECT_EQ(S(init, "backend_variant"), "mock");
    const mxArray* version = mxhost::Field(init, "core_version");
    EXPECT_EQ(S(version, "text"), "3.6.1");
    const mxArray* cfg = mxhost::Field(init, "config");
    EXPECT_EQ(D(cfg, "log_buffer_size"), 512);
    EXPECT_EQ(S(cfg, "log_path"), "mock-kxcore.log");
    EXPECT_EQ(D(cfg, "log_level"), 2);
    EXPECT_TRUE(B(cfg, "append_logs"));
    EXPECT_FALSE(B(cfg, "timestamps_enabled"));
    EXPECT_EQ(D(cfg, "chunk_size"), 25);
    EXPECT_EQ(S(cfg, "update_path"), "../updates/mock_firmware.bin");
    EXPECT_EQ(D(cfg, "adapter_index"), 0);
    EXPECT_TRUE(B(Ok(Call("status")), "core_initialized"));
    EXPECT_EQ(kxsim::Calls().size(), 0u);
}

TEST_F(MockSessionTest, MockInitThenClose_KeepsTheMockBackendAndTheLock) {
    ASSERT_TRUE(Call("init").ok);
    ASSERT_TRUE(Call("init").ok);
    EXPECT_EQ(mex().LockCount(), 1);
    const mxArray* closed = Ok(Call("close"));
    EXPECT_FALSE(B(closed, "disconnected"));
    const mxArray* status = Ok(Call("status"));
    EXPECT_EQ(S(status, "backend_variant"), "mock");
    EXPECT_FALSE(B(status, "core_initialized"));
    EXPECT_TRUE(mex().IsLocked());
}

}  // namespace
}  // namespace kxtest
