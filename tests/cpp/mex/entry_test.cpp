// The entry point as MATLAB code meets it: argument checks, dispatch, and the
// one error per failure with its identifier and message.
#include "command_names.h"
#include "gateway_fixture.h"

namespace kxtest {
namespace {

using mxhost::Num;
using mxhost::Str;

class EntryTest : public GatewayTest {};

TEST_F(EntryTest, NoArguments_FailsAndHasStillRegisteredTheExitHandler) {
    EXPECT_FALSE(mex().ExitHandlerRegistered());
    EXPECT_MEX_ERROR(CallWith(1, {}), "kestrix:mex:invalidArgument", "Expected one or two input arguments.");
    EXPECT_TRUE(mex().ExitHandlerRegistered());
}

TEST_F(EntryTest, ArgumentCountAndOutputCount_AreCheckedBeforeTheCommand) {
    Array a = Str("status"), b = Num(1), c = Num(2);
    EXPECT_MEX_ERROR(CallWith(1, {a, b, c}), "kestrix:mex:invalidArgument", "Expected one or two input arguments.");
    EXPECT_MEX_ERROR(CallWith(2, {a}), "kestrix:mex:tooManyOutputs", "This MEX gateway returns at most one output.");
    Array unknown = Str("no_such_command");
    EXPECT_MEX_ERROR(CallWith(2, {unknown}), "kestrix:mex:tooManyOutputs",
                     "This MEX gateway returns at most one output.");
}

TEST_F(EntryTest, CommandThatIsNotACharacterVector_IsRefused) {
    Array string_scalar = mxhost::StringScalar("status");
    EXPECT_MEX_ERROR(CallWith(1, {string_scalar}), "kestrix:mex:invalidArgument",
                     "Command must be a character vector.");
    Array number = Num(3);
    EXPECT_MEX_ERROR(CallWith(1, {number}), "kestrix:mex:invalidArgument", "Command must be a character vector.");
    EXPECT_MEX_ERROR(Call(""), "kestrix:mex:invalidArgument", "Command must not be empty.");
}

TEST_F(EntryTest, CommandNames_MatchExactlyAndCaseSensitively) {
    EXPECT_MEX_ERROR(Call("STATUS"), "kestrix:mex:unsupportedCommand", "Unsupported MEX command: STATUS.");
    EXPECT_MEX_ERROR(Call(" status"), "kestrix:mex:unsupportedCommand", "Unsupported MEX command:  status.");
    EXPECT_MEX_ERROR(Call("status "), "kestrix:mex:unsupportedCommand", "Unsupported MEX command: status .");
}

// A message used as a printf format corrupts memory on a percent sign.
TEST_F(EntryTest, PercentSignsInACommand_ReachMatlabUnchanged) {
    EXPECT_MEX_ERROR(Call("stat%s%n%d"), "kestrix:mex:unsupportedCommand", "Unsupported MEX command: stat%s%n%d.");
}

TEST_F(EntryTest, Payload_MustBeEmptyOrAStruct) {
    EXPECT_TRUE(Call("status", mxhost::Empty(mxDOUBLE_CLASS)).ok);
    EXPECT_TRUE(Call("status", mxhost::Empty(mxCHAR_CLASS)).ok);
    EXPECT_TRUE(Call("status", mxhost::Struct({{"anything", Num(1)}})).ok);
    EXPECT_MEX_ERROR(Call("status", Num(5)), "kestrix:mex:invalidArgument", "Payload must be a struct.");
    EXPECT_MEX_ERROR(Call("status", Str("x")), "kestrix:mex:invalidArgument", "Payload must be a struct.");
}

TEST_F(EntryTest, EveryCommandName_IsKnown) {
    const std::vector<std::string> commands = CommandNames();
    EXPECT_EQ(commands.size(), 23u);
    for (const std::string& command : commands) {
        CallResult result = Call(command);
        EXPECT_NE(result.identifier, "kestrix:mex:unsupportedCommand") << command;
        EXPECT_EQ(result.message.find("not available"), std::string::npos) << command << ": " << result.message;
    }
}

TEST_F(EntryTest, NoOutputRequested_DestroysTheResultAndSetsNothing) {
    Array status = Str("status");
    CallResult result = CallWith(0, {status});
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.value, nullptr);
    ASSERT_TRUE(Call("init").ok);
    Array close = Str("close");
    CallResult closed = CallWith(0, {close});
    EXPECT_TRUE(closed.ok);
    EXPECT_EQ(closed.value, nullptr);
    EXPECT_FALSE(mex().IsLocked()) << "the teardown ran all the same";
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 1);
}

TEST_F(EntryTest, StandardExceptionOfTheSdk_IsReportedAsNativeException) {
    kxsim::ScriptThrow("kx_core_init", "adapter 50% busy");
    EXPECT_MEX_ERROR(Call("init"), "kestrix:sdk:nativeException",
                     "kx_core_init threw native exception: adapter 50% busy");
    kxsim::ScriptThrowUnknown("kx_core_init");
    EXPECT_MEX_ERROR(Call("init"), "kestrix:sdk:nativeException", "kx_core_init threw an unknown native exception.");
    EXPECT_FALSE(mex().IsLocked());
}

TEST_F(EntryTest, ExceptionOfAnUnwrappedSdkCall_ReachesTheGenericHandler) {
    kxsim::ScriptThrow("kx_core_get_version", "version table corrupt");
    EXPECT_MEX_ERROR(Call("init"), "kestrix:mex:runtimeError", "version table corrupt");
    kxsim::ScriptThrowUnknown("kx_core_get_config");
    EXPECT_MEX_ERROR(Call("init"), "kestrix:mex:runtimeError", "Unknown native exception.");
}

TEST_F(EntryTest, ClearWhileTheCoreRuns_IsRefusedUntilClose) {
    ASSERT_TRUE(Call("init").ok);
    EXPECT_FALSE(mex().Clear());
    EXPECT_TRUE(mex().Loaded());
    ASSERT_TRUE(Call("close").ok);
    EXPECT_TRUE(mex().Clear());
    EXPECT_FALSE(mex().Loaded());
    EXPECT_EQ(kxsim::CountCalls("kx_core_close"), 1);
}

TEST_F(EntryTest, ReloadAfterClear_StartsFromAFreshSession) {
    ASSERT_TRUE(Call("init").ok);
    ASSERT_TRUE(Call("close").ok);
    ASSERT_TRUE(mex().Clear());
    kxsim::ClearCalls();
    const mxArray* status = Ok(Call("status"));
    EXPECT_FALSE(B(status, "core_initialized"));
    EXPECT_TRUE(mex().ExitHandlerRegistered());
}

}  // namespace
}  // namespace kxtest
