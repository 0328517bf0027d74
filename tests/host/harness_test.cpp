// The harness driving a real MEX module (selftest_mex.cpp) through dlopen.
#include <algorithm>

#include "gtest_mex.h"

using namespace mxhost;

namespace {

class HarnessTest : public ::testing::Test {
protected:
    void SetUp() override { ClearViolations(); }
    MexModule mex{KX_SELFTEST_MEX};
};

bool AnyContains(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const auto& l) { return l.find(part) != std::string::npos; });
}

}  // namespace

TEST_F(HarnessTest, Error_FormattedMessage_ReachesCallerThroughJumpAndModuleStaysUsable) {
    EXPECT_MEX_ERROR(mex.Call("fail", Str("x%sy")), "selftest:bad", "bad value 'x%sy' (100% sure)");
    EXPECT_MEX_ERROR(mex.Call("failplain"), "", "plain failure at 50%");
    CallResult after = mex.Call("count");
    EXPECT_MEX_OK(after);
    EXPECT_EQ(AsDouble(after.value), 3.0);
    EXPECT_NO_MEX_VIOLATIONS();
}

TEST_F(HarnessTest, Error_RaisedWithLiveLocals_AbandonsFramesWithoutRunningDestructors) {
    EXPECT_MEX_ERROR(mex.Call("fail_holding"), "selftest:held", "raised with a live local");
    EXPECT_FALSE(AsBool(mex.Call("unwound").value));
}

TEST_F(HarnessTest, Nargout_ZeroOneAndUnassigned_BehaveAsInMatlab) {
    CallResult none = mex.Call(0, {Str("nargout")});
    EXPECT_MEX_OK(none);
    EXPECT_EQ(none.value, nullptr);
    EXPECT_EQ(none.output, "nlhs=0\n");

    CallResult one = mex.Call(1, {Str("nargout")});
    EXPECT_MEX_OK(one);
    EXPECT_EQ(AsDouble(one.value), 1.0);

    CallResult two = mex.Call(2, {Str("count")});  // sets plhs[0] only
    EXPECT_MEX_ERROR(two, "MATLAB:unassignedOutputs",
                     "One or more output arguments not assigned during call to \"selftest_mex\".");
    EXPECT_EQ(two.leaks.size(), 1u);  // the discarded plhs[0]
    EXPECT_NO_MEX_VIOLATIONS();
}

TEST_F(HarnessTest, Leaks_TemporariesAndBuffers_AreReportedAndFreed) {
    const size_t before = LiveArrayCount();
    {
        CallResult r = mex.Call("leak", Str("abc"));
        EXPECT_MEX_OK(r);
        ASSERT_EQ(r.leaks.size(), 3u);
        EXPECT_EQ(r.leaks[0], "double 1x1 array from mxCreateDoubleScalar: 42");
        EXPECT_EQ(r.leaks[1], "16-byte buffer from mxMalloc not mxFree'd");
        EXPECT_EQ(r.leaks[2], "4-byte buffer from mxArrayToString not mxFree'd");
        EXPECT_FALSE(::mxhost::testing::NoMexLeaks("r", r));
        EXPECT_EQ(LiveArrayCount(), before + 1);  // only the returned value
    }
    EXPECT_EQ(LiveArrayCount(), before);
    CallResult clean = mex.Call("count");
    EXPECT_NO_MEX_LEAKS(clean);
}

TEST_F(HarnessTest, Lock_WhileLocked_ClearRefusesAndUnlockNeverGoesNegative) {
    EXPECT_TRUE(AsBool(mex.Call("lock").value));
    EXPECT_TRUE(AsBool(mex.Call("lock").value));
    EXPECT_EQ(mex.LockCount(), 2);
    EXPECT_FALSE(mex.Clear());
    EXPECT_TRUE(mex.Loaded());
    EXPECT_TRUE(AsBool(mex.Call("unlock").value));
    EXPECT_FALSE(AsBool(mex.Call("unlock").value));
    EXPECT_FALSE(AsBool(mex.Call("unlock").value));
    EXPECT_EQ(mex.LockCount(), 0);
    EXPECT_TRUE(mex.Clear());
    EXPECT_FALSE(mex.Loaded());
    EXPECT_NO_MEX_VIOLATIONS();
}

TEST_F(HarnessTest, Clear_RunsExitHandlerUnloadsAndReloadGivesFreshStatics) {
    EXPECT_EQ(AsString(mex.Call("atexit").value), "selftest_mex");
    EXPECT_TRUE(mex.ExitHandlerRegistered());
    EXPECT_EQ(AsDouble(mex.Call("count").value), 2.0);
    ASSERT_TRUE(mex.Clear());
    EXPECT_EQ(mex.ExitOutput(), "exit handler ran after 2 calls\n");
    EXPECT_FALSE(mex.ExitHandlerRegistered());

    CallResult fresh = mex.Call("count");
    EXPECT_TRUE(mex.Loaded());
    EXPECT_EQ(AsDouble(fresh.value), 1.0);
    EXPECT_NO_MEX_VIOLATIONS();
}

TEST_F(HarnessTest, PersistentArray_SurvivesCallsAndMustBeFreedByExitHandler) {
    mex.Call("atexit");
    mex.Call("keep", Struct({{"rate", Num(250)}}));
    CallResult kept = mex.Call("kept");
    EXPECT_NO_MEX_LEAKS(kept);
    EXPECT_EQ(AsDouble(Field(kept.value, "rate")), 250.0);
    EXPECT_TRUE(mex.Clear());
    EXPECT_NO_MEX_VIOLATIONS();

    mex.Call("keep", Num(1));  // reloaded module: no exit handler this time
    EXPECT_TRUE(mex.Clear());
    EXPECT_TRUE(AnyContains(Violations(), "cleared with a persistent 1 from mxDuplicateArray still alive"));
}

TEST_F(HarnessTest, TemporaryKeptInStatic_IsFreedAtCallEndAndLaterUseIsAViolation) {
    CallResult stash = mex.Call("stash");
    EXPECT_EQ(stash.leaks, std::vector<std::string>{"double 1x1 array from mxCreateDoubleScalar: 3"});
    CallResult use = mex.Call("use_stash");
    EXPECT_EQ(AsDouble(use.value), 0.0);
    EXPECT_TRUE(AnyContains(Violations(), "mxGetScalar: argument is not a live mxArray"));
}

TEST_F(HarnessTest, ApiCall_FromAnotherThread_IsRecordedAsViolation) {
    EXPECT_MEX_OK(mex.Call("thread"));
    const auto v = Violations();
    EXPECT_TRUE(AnyContains(v, "mxCreateDoubleScalar: called from a thread other than the MATLAB thread"));
    EXPECT_TRUE(AnyContains(v, "mxDestroyArray: called from a thread other than the MATLAB thread"));
}

TEST_F(HarnessTest, Struct_ReturnedFromModule_KeepsFieldOrderAndUnsetFields) {
    CallResult r = mex.Call("struct", Int(mxINT8_CLASS, 7));
    ASSERT_MEX_OK(r);
    EXPECT_EQ(FieldNames(r.value), (std::vector<std::string>{"zeta", "alpha", "mid"}));
    EXPECT_EQ(Field(r.value, "mid"), nullptr);
    EXPECT_EQ(Describe(r.value), "struct {zeta: int8 7, alpha: 'a', mid: []}");
    EXPECT_NO_MEX_LEAKS(r);
}

TEST_F(HarnessTest, ModuleMisuse_OfInputsAndOwnership_IsRecordedPerCase) {
    const auto num = [] { return Num(5); };
    const auto nested = [] { return Cell({Cell({Num(5)})}); };
    struct Case {
        const char* command;
        Array (*payload)();
        const char* violation;
    } cases[] = {
        {"return_input", num, "plhs[0] is one of the inputs"},
        {"destroy_input", num, "mxDestroyArray: destroying an input argument"},
        {"set_input", nested, "mxSetCell: modifies an input argument"},
        {"double_store", num, "mxSetCell: value is already stored in another array"},
        {"bad_free", num, "mxFree: pointer was not allocated"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        ClearViolations();
        Array payload = c.payload();
        const std::string before = Describe(payload);
        // Passing a value that lives inside another array is fine; it is still an input.
        const mxArray* arg = mxIsCell(payload) ? mxGetCell(payload, 0) : payload.get();
        CallResult r = mex.Call(1, {Str(c.command), arg});
        EXPECT_TRUE(AnyContains(Violations(), c.violation)) << ::testing::PrintToString(Violations());
        EXPECT_EQ(Describe(payload), before);  // the caller's argument is intact
    }
}

TEST_F(HarnessTest, CallMatlabChar_OnStringScalar_ConvertsAndRejectsOthers) {
    CallResult r = mex.Call("to_char", StringScalar("hi"));
    EXPECT_MEX_OK(r);
    EXPECT_TRUE(mxIsChar(r.value));
    EXPECT_EQ(AsString(r.value), "hi");
    EXPECT_MEX_ERROR(mex.Call("to_char", Cell({})), "MATLAB:invalidConversion",
                     "Conversion to char from cell is not possible.");
}

TEST_F(HarnessTest, WarningsAndEscapedExceptions_AreCapturedInTheResult) {
    CallResult w = mex.Call("warn");
    ASSERT_EQ(w.warnings.size(), 1u);
    EXPECT_EQ(w.warnings[0].identifier, "selftest:warn");
    EXPECT_EQ(w.warnings[0].message, "careful with 3");

    EXPECT_MEX_ERROR(mex.Call("throw"), "mxhost:uncaughtException", "escaped");
    EXPECT_TRUE(AnyContains(Violations(), "C++ exception escaped the MEX module"));
}

TEST(HarnessUnloadTest, Clear_ModuleWithGnuUniqueSymbol_IsReportedAsStillLoaded) {
    ClearViolations();
    MexModule pinned(KX_UNIQUE_MEX);
    EXPECT_MEX_OK(pinned.Call(1, {}));
    EXPECT_TRUE(pinned.Clear());
    EXPECT_TRUE(AnyContains(Violations(), "stayed loaded after clear"));
    ClearViolations();
}
