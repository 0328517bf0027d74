// Status names, identifiers and the conversion of SDK exceptions.
#include "gateway/failure.h"

#include <gtest/gtest.h>

namespace kx {
namespace {

TEST(StatusNames, GeneralTable_EdgesAndUnknownCodes) {
    EXPECT_EQ(ErrorName(0), "KX_ERROR_OK");
    EXPECT_STREQ(ErrorIdentifier(0), "kestrix:sdk:error");
    EXPECT_EQ(ErrorName(1), "KX_ERROR_CONNECTION");
    EXPECT_STREQ(ErrorIdentifier(1), "kestrix:sdk:connection");
    EXPECT_EQ(ErrorName(4), "KX_ERROR_BLUETOOTH_DISABLED");
    EXPECT_STREQ(ErrorIdentifier(4), "kestrix:sdk:bluetoothNotEnabled");
    EXPECT_EQ(ErrorName(8), "KX_ERROR_UPDATE_INITIATED_UNSUCCESSFULLY");
    EXPECT_STREQ(ErrorIdentifier(8), "kestrix:sdk:updateStartFailed");
    EXPECT_EQ(ErrorName(10), "KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING");
    EXPECT_STREQ(ErrorIdentifier(10), "kestrix:sdk:annotationUnavailableCalibrating");
    EXPECT_EQ(ErrorName(14), "KX_ERROR_PATH_NOT_FOUND");
    EXPECT_STREQ(ErrorIdentifier(14), "kestrix:sdk:pathNotFound");
    for (int code : {15, 16, 128, 255}) {
        EXPECT_EQ(ErrorName(static_cast<std::uint8_t>(code)), "KX_ERROR_UNKNOWN") << code;
        EXPECT_STREQ(ErrorIdentifier(static_cast<std::uint8_t>(code)), "kestrix:sdk:error") << code;
    }
}

TEST(StatusNames, InitTable_EdgesAndUnknownCodes) {
    EXPECT_EQ(InitErrorName(0), "KX_INIT_ERROR_UNKNOWN");
    EXPECT_STREQ(InitErrorIdentifier(0), "kestrix:sdk:initFailed");
    EXPECT_EQ(InitErrorName(7), "KX_INIT_WARNING_ALREADY_INITIALIZED");
    EXPECT_STREQ(InitErrorIdentifier(7), "kestrix:sdk:initFailed");
    // The adapter codes map to the Bluetooth identifiers whatever their names say.
    EXPECT_STREQ(InitErrorIdentifier(4), "kestrix:sdk:bluetoothNotEnabled");
    EXPECT_STREQ(InitErrorIdentifier(5), "kestrix:sdk:bluetoothAdapterNotFound");
    EXPECT_EQ(InitErrorName(6), "KX_INIT_ERROR_CONFIG_PARSE");
    EXPECT_STREQ(InitErrorIdentifier(6), "kestrix:sdk:configParse");
    for (int code : {9, 10, 255}) {
        EXPECT_EQ(InitErrorName(static_cast<std::uint8_t>(code)), "KX_INIT_ERROR_UNKNOWN") << code;
        EXPECT_STREQ(InitErrorIdentifier(static_cast<std::uint8_t>(code)), "kestrix:sdk:initFailed") << code;
    }
}

template <typename Callable>
MexFailure CaughtFailure(Callable&& call) {
    try {
        call();
    } catch (const MexFailure& failure) {
        return failure;
    }
    ADD_FAILURE() << "no MexFailure raised";
    return MexFailure("none", "none");
}

TEST(CallSdkOrThrow, ReturnsTheResultAndConvertsEveryKindOfException) {
    EXPECT_EQ(CallSdkOrThrow("op", [] { return 42; }), 42);

    MexFailure standard =
        CaughtFailure([] { CallSdkOrThrow("kx_core_init", []() -> int { throw std::runtime_error("boom"); }); });
    EXPECT_EQ(standard.identifier, "kestrix:sdk:nativeException");
    EXPECT_STREQ(standard.what(), "kx_core_init threw native exception: boom");

    MexFailure other = CaughtFailure([] { CallSdkOrThrow("kx_core_init", []() -> int { throw 7; }); });
    EXPECT_EQ(other.identifier, "kestrix:sdk:nativeException");
    EXPECT_STREQ(other.what(), "kx_core_init threw an unknown native exception.");

    MexFailure passed = CaughtFailure([] {
        CallSdkOrThrow("kx_eeg_manager_get_device_info", []() -> int {
            ThrowMex("kestrix:state:notConnected", "No device connected. Call kx_connect first.");
        });
    });
    EXPECT_EQ(passed.identifier, "kestrix:state:notConnected");
    EXPECT_STREQ(passed.what(), "No device connected. Call kx_connect first.");
}

TEST(FailingStatus, MessageNamesTheStatusNeverTheCode) {
    MexFailure failure = CaughtFailure([] { ThrowSdkStatus("kx_eeg_manager_load_config failed with status ", 1); });
    EXPECT_EQ(failure.identifier, "kestrix:sdk:connection");
    EXPECT_STREQ(failure.what(), "kx_eeg_manager_load_config failed with status KX_ERROR_CONNECTION.");
    MexFailure null_result = CaughtFailure([] { ThrowNullResult("kx_eeg_manager_new"); });
    EXPECT_EQ(null_result.identifier, "kestrix:mex:runtimeError");
    EXPECT_STREQ(null_result.what(), "kx_eeg_manager_new returned null.");
}

TEST(FailingStatus, CallRequiringOk_PassesOkAndNamesTheOperationOtherwise) {
    int calls = 0;
    CallSdkRequiringOk("kx_eeg_manager_annotate", [&calls] {
        ++calls;
        return std::uint8_t{0};
    });
    EXPECT_EQ(calls, 1);

    MexFailure status = CaughtFailure([] { CallSdkRequiringOk("kx_eeg_manager_start_stream", [] { return 255; }); });
    EXPECT_EQ(status.identifier, "kestrix:sdk:error");
    EXPECT_STREQ(status.what(), "kx_eeg_manager_start_stream failed with status KX_ERROR_UNKNOWN.");

    MexFailure thrown = CaughtFailure(
        [] { CallSdkRequiringOk("kx_eeg_manager_stop_stream", []() -> int { throw std::runtime_error("gone"); }); });
    EXPECT_EQ(thrown.identifier, "kestrix:sdk:nativeException");
    EXPECT_STREQ(thrown.what(), "kx_eeg_manager_stop_stream threw native exception: gone");
}

}  // namespace
}  // namespace kx
