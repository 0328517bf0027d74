// Channel, gain, bias and sample-rate settings and load_config, on the real
// backend (simulated SDK) and the mock backend.
#include "gateway_fixture.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using kxtest::B;
using kxtest::D;
using kxtest::S;
using mxhost::Array;
using mxhost::Logical;
using mxhost::Num;
using mxhost::Str;
using mxhost::Struct;

constexpr const char* kNotConnected = "kestrix:state:notConnected";
constexpr const char* kStreaming = "kestrix:state:streaming";
constexpr const char* kInvalid = "kestrix:mex:invalidArgument";
constexpr const char* kWrongValue = "kestrix:sdk:wrongValue";
constexpr const char* kGainMessage =
    "\"gain_mode\" must be a gain multiplier (1, 2, 4, 6, 8, 12) or GainMode enum value.";
constexpr const char* kPolarityPresence = "\"polarity\" must be numeric or boolean.";
constexpr const char* kPolarityRange = "\"polarity\" must be boolean or one of 0, 1, 2, 3.";

Array Enabled(double channel, Array enabled) {
    return Struct({{"channel_id", Num(channel)}, {"enabled", std::move(enabled)}});
}
Array Gain(double channel, double gain_mode) {
    return Struct({{"channel_id", Num(channel)}, {"gain_mode", Num(gain_mode)}});
}
Array Bias(double channel, Array polarity) {
    return Struct({{"channel_id", Num(channel)}, {"polarity", std::move(polarity)}});
}
Array Rate(double rate_hz) {
    return Struct({{"rate_hz", Num(rate_hz)}});
}

kxsim::Headset HeadsetOfModel(std::uint8_t model) {
    kxsim::Headset headset;
    headset.name = "SIM MODEL " + std::to_string(model);
    headset.mac = "00:1A:7D:00:09:0" + std::to_string(model % 10);
    headset.model = model;
    headset.electrodes = 8;
    return headset;
}

const char* const kSettingCommands[] = {"set_channel_enabled", "set_channel_gain", "set_channel_bias",
                                        "set_sample_rate", "load_config"};

// The payload each setting command is refused with while a stream runs; it
// is deliberately invalid, to show the streaming check comes first.
struct RefusedWhileStreaming {
    const char* command;
    const char* message;
};
const RefusedWhileStreaming kRefusedWhileStreaming[] = {
    {"set_channel_enabled", "Cannot change channel state while streaming."},
    {"set_channel_gain", "Cannot change channel gain while streaming."},
    {"set_channel_bias", "Cannot change channel bias while streaming."},
    {"set_sample_rate", "Cannot change sample rate while streaming."},
};

class SettingsTest : public kxtest::QuickLinkGatewayTest {
protected:
    void ConnectTo(const std::string& name) {
        Ok(Call("connect", Struct({{"device_name", Str(name)}})));
        ASSERT_TRUE(kxsim::Connected());
    }
    void ConnectModel(std::uint8_t model) {
        kxsim::SetHeadsets({HeadsetOfModel(model)});
        ConnectTo(HeadsetOfModel(model).name);
    }
    // The last call of op as the simulator logged it.
    static std::string LastArgs(const std::string& op) {
        std::string args;
        for (const kxsim::CallRecord& call : kxsim::Calls()) {
            if (call.op == op) {
                args = call.args;
            }
        }
        return args;
    }
};

TEST_F(SettingsTest, EveryCommand_NoManagerOrLinkLost_FailsBeforeReadingThePayload) {
    for (const char* command : kSettingCommands) {
        SCOPED_TRACE(command);
        EXPECT_MEX_ERROR(Call(command, Struct({})), kNotConnected, "No active EEG manager. Call kx_connect first.");
    }
    ConnectTo("SIM SOLA 101");
    kxsim::DropLink();
    for (const char* command : kSettingCommands) {
        SCOPED_TRACE(command);
        EXPECT_MEX_ERROR(Call(command, Struct({})), kNotConnected, "No device connected. Call kx_connect first.");
    }
}

TEST_F(SettingsTest, SettingCommands_WhileStreaming_RefusedBeforePayloadAndSdkUntouched) {
    ConnectTo("SIM SOLA 101");
    Ok(Call("start_stream"));
    kxsim::ClearCalls();
    for (const RefusedWhileStreaming& row : kRefusedWhileStreaming) {
        SCOPED_TRACE(row.command);
        EXPECT_MEX_ERROR(Call(row.command, Struct({})), kStreaming, row.message);
    }
    for (const char* op : {"kx_eeg_manager_set_channel_enabled", "kx_eeg_manager_set_channel_gain",
                           "kx_eeg_manager_set_channel_bias", "kx_eeg_manager_set_data_stream_rate"}) {
        EXPECT_EQ(kxsim::CountCalls(op), 0) << op;
    }
    EXPECT_TRUE(B(Ok(Call("load_config")), "loaded"));
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_load_config"), 1);
    Ok(Call("stop_stream"));
}

TEST_F(SettingsTest, SetChannelEnabled_TruncatesAndAcceptsLogicalOrNumeric) {
    ConnectTo("SIM SOLA 101");
    const mxArray* off = Ok(Call("set_channel_enabled", Enabled(2.9, Logical(false))));
    EXPECT_EQ(mxhost::FieldNames(off), (std::vector<std::string>{"channel_id", "enabled"}));
    EXPECT_EQ(D(off, "channel_id"), 2.0);
    EXPECT_FALSE(B(off, "enabled"));
    EXPECT_FALSE(kxsim::ChannelEnabled(2));

    EXPECT_TRUE(B(Ok(Call("set_channel_enabled", Enabled(2, Num(0.5)))), "enabled"));
    EXPECT_TRUE(kxsim::ChannelEnabled(2));
    EXPECT_FALSE(B(Ok(Call("set_channel_enabled", Enabled(2, Num(0)))), "enabled"));
    EXPECT_FALSE(kxsim::ChannelEnabled(2));
}

TEST_F(SettingsTest, ChannelMinusOne_ReachesSdkAs65535_AnswerShowsMinusOne) {
    ConnectTo("SIM SOLA 101");
    EXPECT_EQ(D(Ok(Call("set_channel_enabled", Enabled(-1, Logical(true)))), "channel_id"), -1.0);
    EXPECT_NE(LastArgs("kx_eeg_manager_set_channel_enabled").find("65535"), std::string::npos)
        << LastArgs("kx_eeg_manager_set_channel_enabled");
    EXPECT_EQ(D(Ok(Call("set_channel_bias", Bias(-1, Num(2)))), "channel_id"), -1.0);
    EXPECT_NE(LastArgs("kx_eeg_manager_set_channel_bias").find("65535"), std::string::npos)
        << LastArgs("kx_eeg_manager_set_channel_bias");
    // The headset has 8 electrodes; the simulator records the out-of-range
    // channels, which is the point here.
    EXPECT_EQ(kxsim::Violations().size(), 2u);
    kxsim::ClearViolations();
}

TEST_F(SettingsTest, SetChannelEnabled_BadFields_FailInPayloadOrder) {
    ConnectTo("SIM SOLA 101");
    EXPECT_MEX_ERROR(Call("set_channel_enabled", Struct({{"enabled", Num(1)}})), kInvalid,
                     "\"channel_id\" must be a scalar value.");
    EXPECT_MEX_ERROR(Call("set_channel_enabled", Enabled(std::nan(""), Num(1))), kInvalid,
                     "\"channel_id\" must be finite.");
    EXPECT_MEX_ERROR(Call("set_channel_enabled", Struct({{"channel_id", Logical(true)}, {"enabled", Num(1)}})),
                     kInvalid, "\"channel_id\" must be numeric.");
    EXPECT_MEX_ERROR(Call("set_channel_enabled", Struct({{"channel_id", Num(1)}})), kInvalid,
                     "\"enabled\" must be a scalar value.");
    EXPECT_MEX_ERROR(Call("set_channel_enabled", Enabled(1, Str("y"))), kInvalid, "\"enabled\" must be numeric.");
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_set_channel_enabled"), 0);
}

TEST_F(SettingsTest, SetChannelGain_MultipliersAndGainModeValues_ApplyTheTable) {
    ConnectTo("SIM SOLA 101");
    struct Row {
        double input;
        const char* name;
        int mode;
    };
    // 1, 2 and 4 are multipliers; 0, 3 and 5 are GainMode values.
    const Row rows[] = {{1, "X1", 0},   {2, "X2", 1}, {4, "X4", 2}, {6, "X6", 3},  {8, "X8", 4},
                        {12, "X12", 5}, {0, "X1", 0}, {3, "X6", 3}, {5, "X12", 5}, {4.7, "X4", 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        Ok(Call("set_channel_gain", Gain(7, 6)));  // a mode no row ends on by accident
        const mxArray* result = Ok(Call("set_channel_gain", Gain(7, row.input)));
        EXPECT_EQ(mxhost::FieldNames(result), (std::vector<std::string>{"channel_id", "gain_mode"}));
        EXPECT_EQ(D(result, "channel_id"), 7.0);
        EXPECT_EQ(S(mxhost::Field(result, "gain_mode"), "name"), row.name);
        EXPECT_EQ(D(mxhost::Field(result, "gain_mode"), "value"), row.mode);
        EXPECT_EQ(kxsim::ChannelGain(7), row.mode);
    }
}

TEST_F(SettingsTest, SetChannelGain_RejectedValues_FailAndChangeNothing) {
    ConnectTo("SIM SOLA 101");
    Ok(Call("set_channel_gain", Gain(1, 8)));
    kxsim::ClearCalls();
    for (double bad : {7.0, 9.0, 10.0, 11.0, 13.0, -1.0, 1e12}) {
        SCOPED_TRACE(bad);
        EXPECT_MEX_ERROR(Call("set_channel_gain", Gain(1, bad)), kInvalid, kGainMessage);
    }
    EXPECT_MEX_ERROR(Call("set_channel_gain", Struct({{"channel_id", Num(1)}, {"gain_mode", Logical(true)}})), kInvalid,
                     "\"gain_mode\" must be numeric.");
    // The channel is checked before "gain_mode" is read.
    for (double channel : {34.0, -1.0, 1e10}) {
        SCOPED_TRACE(channel);
        EXPECT_MEX_ERROR(Call("set_channel_gain", Struct({{"channel_id", Num(channel)}})), kInvalid,
                         "Invalid channel number.");
    }
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_set_channel_gain"), 0);
    EXPECT_EQ(kxsim::ChannelGain(1), 4);
}

TEST_F(SettingsTest, SetChannelBias_PolarityTable) {
    ConnectTo("SIM SOLA 101");
    struct Row {
        Array (*make)();
        const char* name;
        int code;
    };
    const Row rows[] = {
        {[] { return Logical(true); }, "BOTH", 1},
        {[] { return Logical(false); }, "NONE", 0},
        {[] { return Num(0); }, "NONE", 0},
        {[] { return Num(1); }, "BOTH", 1},
        {[] { return Num(2.5); }, "POSITIVE", 2},
        {[] { return Num(3); }, "NEGATIVE", 3},
        {[] { return mxhost::Int(mxINT8_CLASS, 2); }, "POSITIVE", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const mxArray* result = Ok(Call("set_channel_bias", Bias(3, row.make())));
        EXPECT_EQ(mxhost::FieldNames(result), (std::vector<std::string>{"channel_id", "polarity"}));
        EXPECT_EQ(D(result, "channel_id"), 3.0);
        EXPECT_EQ(S(mxhost::Field(result, "polarity"), "name"), row.name);
        EXPECT_EQ(D(mxhost::Field(result, "polarity"), "value"), row.code);
        EXPECT_EQ(kxsim::ChannelBias(3), row.code);
    }
}

TEST_F(SettingsTest, SetChannelBias_BadPolarity_FailsWithItsOwnMessagesAndChangesNothing) {
    ConnectTo("SIM SOLA 101");
    Ok(Call("set_channel_bias", Bias(3, Num(2))));
    kxsim::ClearCalls();
    EXPECT_MEX_ERROR(Call("set_channel_bias", Struct({{"channel_id", Num(3)}})), kInvalid, kPolarityPresence);
    EXPECT_MEX_ERROR(Call("set_channel_bias", Bias(3, mxhost::Empty(mxDOUBLE_CLASS))), kInvalid, kPolarityPresence);
    EXPECT_MEX_ERROR(Call("set_channel_bias", Bias(3, mxhost::Matrix(1, 2, {1, 2}))), kInvalid, kPolarityPresence);
    EXPECT_MEX_ERROR(Call("set_channel_bias", Bias(3, Num(4))), kInvalid, kPolarityRange);
    EXPECT_MEX_ERROR(Call("set_channel_bias", Bias(3, Num(-1))), kInvalid, kPolarityRange);
    EXPECT_MEX_ERROR(Call("set_channel_bias", Bias(3, Str("x"))), kInvalid, "\"polarity\" must be numeric.");
    EXPECT_MEX_ERROR(Call("set_channel_bias", Bias(3, Num(std::numeric_limits<double>::infinity()))), kInvalid,
                     "\"polarity\" must be finite.");
    // "channel_id" is read first.
    EXPECT_MEX_ERROR(Call("set_channel_bias", Struct({{"polarity", Num(1)}})), kInvalid,
                     "\"channel_id\" must be a scalar value.");
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_set_channel_bias"), 0);
    EXPECT_EQ(kxsim::ChannelBias(3), 2);
}

TEST_F(SettingsTest, SetSampleRate_EveryRateOfTheTable_ReachesTheSdkAsItsCode) {
    ConnectModel(KX_MODEL_ZEM);
    const std::pair<double, int> rows[] = {{16000, 0}, {8000, 1}, {4000, 2}, {2000, 3},
                                           {1000, 4},  {500, 5},  {250.9, 6}};
    for (const auto& [rate, code] : rows) {
        SCOPED_TRACE(rate);
        const mxArray* result = Ok(Call("set_sample_rate", Rate(rate)));
        EXPECT_EQ(mxhost::FieldNames(result), std::vector<std::string>{"sample_rate_hz"});
        EXPECT_EQ(D(result, "sample_rate_hz"), std::trunc(rate));
        EXPECT_EQ(kxsim::RateCode(), code);
    }
}

TEST_F(SettingsTest, SetSampleRate_BadRates_FailBeforeTheSdk) {
    ConnectModel(KX_MODEL_ZEM);
    kxsim::ClearCalls();
    for (double rate : {0.0, 0.9, -250.0, 3e9}) {
        SCOPED_TRACE(rate);
        EXPECT_MEX_ERROR(Call("set_sample_rate", Rate(rate)), kInvalid, "\"rate_hz\" must be positive.");
    }
    EXPECT_MEX_ERROR(Call("set_sample_rate", Struct({})), kInvalid, "\"rate_hz\" must be a scalar value.");
    EXPECT_MEX_ERROR(Call("set_sample_rate", Struct({{"rate_hz", Logical(true)}})), kInvalid,
                     "\"rate_hz\" must be numeric.");
    EXPECT_MEX_ERROR(Call("set_sample_rate", Rate(300)), kWrongValue, "Wrong sample rate.");
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_set_data_stream_rate"), 0);
    EXPECT_EQ(kxsim::RateCode(), KX_RATE_250);
}

TEST_F(SettingsTest, SetSampleRate_SdkStatusOrThrow_FailsAndKeepsTheRate) {
    ConnectModel(KX_MODEL_ZEM);
    kxsim::ScriptStatus("kx_eeg_manager_set_data_stream_rate", KX_ERROR_CONNECTION);
    EXPECT_MEX_ERROR(Call("set_sample_rate", Rate(500)), "kestrix:sdk:connection",
                     "kx_eeg_manager_set_data_stream_rate failed with status KX_ERROR_CONNECTION.");
    kxsim::ScriptThrow("kx_eeg_manager_set_data_stream_rate", "radio busy");
    EXPECT_MEX_ERROR(Call("set_sample_rate", Rate(500)), "kestrix:sdk:nativeException",
                     "kx_eeg_manager_set_data_stream_rate threw native exception: radio busy");
    kxsim::ScriptThrowUnknown("kx_eeg_manager_set_data_stream_rate");
    EXPECT_MEX_ERROR(Call("set_sample_rate", Rate(500)), "kestrix:sdk:nativeException",
                     "kx_eeg_manager_set_data_stream_rate threw an unknown native exception.");
    EXPECT_EQ(kxsim::RateCode(), KX_RATE_250);
}

TEST_F(SettingsTest, SetSampleRate_DeviceInfoNull_FailsAsNullResult) {
    ConnectModel(KX_MODEL_ZEM);
    kxsim::ScriptNull("kx_eeg_manager_get_device_info");
    EXPECT_MEX_ERROR(Call("set_sample_rate", Rate(250)), "kestrix:mex:runtimeError",
                     "kx_eeg_manager_get_device_info returned null.");
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_set_data_stream_rate"), 0);
}

// Each model code, with what 250, 300, 500, 1000 and 16000 Hz give on it
// (empty: accepted).
struct ModelLimits {
    std::uint8_t model;
    std::string at500, at1000, at16000;
};

class SettingsModelTest : public SettingsTest, public ::testing::WithParamInterface<ModelLimits> {};

TEST_P(SettingsModelTest, SetSampleRate_FollowsTheModelLimits) {
    const ModelLimits& limits = GetParam();
    ConnectModel(limits.model);
    EXPECT_EQ(D(Ok(Call("set_sample_rate", Rate(250))), "sample_rate_hz"), 250.0);
    EXPECT_MEX_ERROR(Call("set_sample_rate", Rate(300)), kWrongValue, "Wrong sample rate.");
    const std::pair<double, const std::string*> checks[] = {{500, &limits.at500},
                                                            {1000, &limits.at1000},
                                                            {16000, &limits.at16000}};
    for (const auto& [rate, failure] : checks) {
        SCOPED_TRACE(rate);
        kxsim::ClearCalls();
        const kxtest::CallResult result = Call("set_sample_rate", Rate(rate));
        if (failure->empty()) {
            EXPECT_EQ(D(Ok(result), "sample_rate_hz"), rate);
            EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_set_data_stream_rate"), 1);
        } else {
            EXPECT_MEX_ERROR(result, kWrongValue, *failure);
            EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_set_data_stream_rate"), 0);
        }
    }
}

const std::string kOnly250 = " only supports 250Hz sample rate.";
const std::string kUpTo500 = " supports sample rates up to 500Hz.";

INSTANTIATE_TEST_SUITE_P(
    EveryModel, SettingsModelTest,
    ::testing::Values(ModelLimits{0, "", "VELO" + kUpTo500, "VELO" + kUpTo500},
                      ModelLimits{1, "RUNA" + kOnly250, "RUNA" + kOnly250, "RUNA" + kOnly250},
                      ModelLimits{2, "TOKA" + kOnly250, "TOKA" + kOnly250, "TOKA" + kOnly250},
                      ModelLimits{3, "", "", ""}, ModelLimits{4, "", "SOLA1" + kUpTo500, "SOLA1" + kUpTo500},
                      ModelLimits{5, "", "SOLA" + kUpTo500, "SOLA" + kUpTo500}, ModelLimits{9, "", "", ""}),
    [](const ::testing::TestParamInfo<ModelLimits>& info) { return "Model" + std::to_string(info.param.model); });

TEST_F(SettingsTest, LoadConfig_StatusAndThrow_FailUnderTheOperationName) {
    ConnectTo("SIM SOLA 101");
    EXPECT_EQ(mxhost::FieldNames(Ok(Call("load_config"))), std::vector<std::string>{"loaded"});
    EXPECT_NE(LastArgs("kx_eeg_manager_load_config").find("null, null"), std::string::npos)
        << LastArgs("kx_eeg_manager_load_config");
    kxsim::ScriptStatus("kx_eeg_manager_load_config", KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING);
    EXPECT_MEX_ERROR(Call("load_config"), "kestrix:sdk:annotationUnavailableCalibrating",
                     "kx_eeg_manager_load_config failed with status KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING.");
    kxsim::ScriptStatus("kx_eeg_manager_load_config", 200);
    EXPECT_MEX_ERROR(Call("load_config"), "kestrix:sdk:error",
                     "kx_eeg_manager_load_config failed with status KX_ERROR_UNKNOWN.");
    kxsim::ScriptThrow("kx_eeg_manager_load_config", "no config");
    EXPECT_MEX_ERROR(Call("load_config"), "kestrix:sdk:nativeException",
                     "kx_eeg_manager_load_config threw native exception: no config");
}

// ---- mock backend ----------------------------------------------------------

class MockSettingsTest : public kxtest::MockGatewayTest {
protected:
    void ConnectMock() { Ok(Call("connect", Struct({{"device_name", Str("MOCK SOLA 001")}}))); }
};

TEST_F(MockSettingsTest, EveryCommand_NoMockDevice_FailsAsNotConnected) {
    for (const char* command : kSettingCommands) {
        SCOPED_TRACE(command);
        EXPECT_MEX_ERROR(Call(command, Struct({})), kNotConnected, "No device connected. Call kx_connect first.");
    }
}

TEST_F(MockSettingsTest, SettingCommands_WhileStreaming_RefusedButLoadConfigAllowed) {
    ConnectMock();
    Ok(Call("start_stream"));
    for (const RefusedWhileStreaming& row : kRefusedWhileStreaming) {
        SCOPED_TRACE(row.command);
        EXPECT_MEX_ERROR(Call(row.command, Struct({})), kStreaming, row.message);
    }
    EXPECT_TRUE(B(Ok(Call("load_config")), "loaded"));
    Ok(Call("stop_stream"));
}

TEST_F(MockSettingsTest, SetSampleRate_AnyPositiveRate_AcceptedWithoutTheModel) {
    ConnectMock();
    kxsim::ClearCalls();
    EXPECT_EQ(D(Ok(Call("set_sample_rate", Rate(300))), "sample_rate_hz"), 300.0);
    EXPECT_EQ(D(Ok(Call("set_sample_rate", Rate(16000))), "sample_rate_hz"), 16000.0);
    EXPECT_MEX_ERROR(Call("set_sample_rate", Rate(-1)), kInvalid, "\"rate_hz\" must be positive.");
    EXPECT_EQ(kxsim::CallNames(), std::vector<std::string>{});
}

TEST_F(MockSettingsTest, SetChannelGain_UsesTheSdkMultiplierMapping_ChannelUpTo33) {
    ConnectMock();
    kxsim::ClearCalls();
    const mxArray* result = Ok(Call("set_channel_gain", Gain(33, 4)));
    EXPECT_EQ(S(mxhost::Field(result, "gain_mode"), "name"), "X4");
    EXPECT_EQ(D(mxhost::Field(result, "gain_mode"), "value"), 2.0);
    EXPECT_EQ(kxsim::CountCalls("kx_multiplier_to_gain_mode"), 1);
    EXPECT_MEX_ERROR(Call("set_channel_gain", Gain(34, 4)), kInvalid, "Invalid channel number.");
    EXPECT_MEX_ERROR(Call("set_channel_gain", Gain(0, 7)), kInvalid, kGainMessage);
    EXPECT_EQ(D(mxhost::Field(Ok(Call("set_channel_gain", Gain(0, 3))), "gain_mode"), "value"), 3.0);
}

TEST_F(MockSettingsTest, SetChannelBias_AnyChannel_AnswersThePolarity) {
    ConnectMock();
    const mxArray* result = Ok(Call("set_channel_bias", Bias(-1, Logical(true))));
    EXPECT_EQ(D(result, "channel_id"), -1.0);
    EXPECT_EQ(S(mxhost::Field(result, "polarity"), "name"), "BOTH");
    EXPECT_MEX_ERROR(Call("set_channel_bias", Bias(1, Num(4))), kInvalid, kPolarityRange);
}

TEST_F(MockSettingsTest, EnabledChannelsAndRate_AreWhatTheMockStreamDelivers) {
    ConnectMock();
    Ok(Call("set_channel_enabled", Enabled(3, Logical(true))));
    Ok(Call("set_channel_enabled", Enabled(7, Num(1))));
    Ok(Call("set_sample_rate", Rate(500)));
    Ok(Call("start_stream"));
    const Array wait = Struct({{"timeout_ms", Num(5000)}, {"drain", Logical(false)}});
    const mxArray* meta = mxhost::Field(Ok(Call("read_chunk", wait)), "meta");
    EXPECT_EQ(D(meta, "channel_count"), 2.0);
    EXPECT_EQ(D(meta, "sample_frequency_hz"), 500.0);
    Ok(Call("stop_stream"));

    // A disabled channel keeps its entry and is no longer streamed.
    EXPECT_FALSE(B(Ok(Call("set_channel_enabled", Enabled(7, Logical(false)))), "enabled"));
    Ok(Call("start_stream"));
    meta = mxhost::Field(Ok(Call("read_chunk", wait)), "meta");
    EXPECT_EQ(D(meta, "channel_count"), 1.0);
    Ok(Call("stop_stream"));
}

}  // namespace
