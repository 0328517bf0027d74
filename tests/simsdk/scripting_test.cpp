// Scripted outcomes and the call log.
#include <stdexcept>

#include "sim_test_util.h"

namespace {

using simtest::SimTest;
using ScriptingTest = SimTest;

TEST_F(ScriptingTest, ScriptedStatuses_AreConsumedInOrderThenNaturalBehaviourReturns) {
    kxsim::ScriptStatus("kx_core_init", 5);
    kxsim::ScriptStatus("kx_core_init", 3, 2);
    EXPECT_EQ(kx_core_init(), 5);
    EXPECT_EQ(kx_core_init(), 3);
    EXPECT_EQ(kx_core_init(), 3);
    EXPECT_EQ(kx_core_init(), KX_INIT_SUCCESS);
    EXPECT_EQ(kx_core_init(), KX_INIT_WARNING_ALREADY_INITIALIZED);
}

TEST_F(ScriptingTest, TimesMinusOne_AppliesToEveryLaterCall) {
    kxsim::ScriptStatus("kx_multiplier_to_gain_mode", 9, -1);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(kx_multiplier_to_gain_mode(2), 9);
    kxsim::ClearScripts();
    EXPECT_EQ(kx_multiplier_to_gain_mode(2), KX_GAIN_X2);
}

TEST_F(ScriptingTest, ThrowAndThrowUnknown_ThrowTheScriptedException) {
    kxsim::ScriptThrow("kx_core_scan", "boom text");
    kxsim::ScriptThrowUnknown("kx_core_get_version");
    const kx_device_list_entry* list = nullptr;
    size_t count = 0;
    try {
        kx_core_scan(&list, &count);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "boom text");
    }
    EXPECT_THROW(kx_core_get_version(), int);
    EXPECT_NE(kx_core_get_version(), nullptr);
    // A throwing operation leaves the world able to answer afterwards.
    EXPECT_EQ(kx_core_scan(&list, &count), KX_ERROR_OK);
}

TEST_F(ScriptingTest, NullResults_ForPointerOperationsAndOutLists) {
    kxsim::ScriptNull("kx_eeg_manager_new");
    kxsim::ScriptNull("kx_core_scan");
    EXPECT_EQ(kx_eeg_manager_new(), nullptr);
    const kx_device_list_entry* list = reinterpret_cast<const kx_device_list_entry*>(1);
    size_t count = 7;
    EXPECT_EQ(kx_core_scan(&list, &count), KX_ERROR_OK);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(kxsim::LiveManagers(), 0);
}

TEST_F(ScriptingTest, ScriptedOutcome_ReplacesTheOperationWithoutSideEffects) {
    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    kxsim::ScriptStatus("kx_eeg_manager_start_stream", 0);
    EXPECT_EQ(kx_eeg_manager_start_stream(m, nullptr, nullptr), KX_ERROR_OK);
    EXPECT_FALSE(kx_eeg_manager_is_streaming(m));
    kxsim::ScriptStatus("kx_eeg_manager_is_streaming", 1);
    EXPECT_TRUE(kx_eeg_manager_is_streaming(m));
    kx_eeg_manager_free(m);
}

TEST_F(ScriptingTest, ImpossibleScripts_AreRejectedAndRecorded) {
    EXPECT_THROW(kxsim::ScriptStatus("kx_no_such_op", 1), std::invalid_argument);
    EXPECT_THROW(kxsim::ScriptNull("kx_core_init"), std::invalid_argument);
    EXPECT_THROW(kxsim::ScriptStatus("kx_eeg_manager_free", 0), std::invalid_argument);
    EXPECT_THROW(kxsim::ScriptStatus("kx_core_init", 256), std::invalid_argument);
    EXPECT_THROW(kxsim::ScriptStatus("kx_core_init", 1, 0), std::invalid_argument);
    EXPECT_EQ(kxsim::Violations().size(), 5u);
    EXPECT_EQ(kx_core_init(), KX_INIT_SUCCESS);
}

TEST_F(ScriptingTest, CallLog_RecordsEveryOperationWithRenderedArguments) {
    kx_eeg_manager* m = kx_eeg_manager_new();
    kx_eeg_manager_connect(m, "SIM ZEM 202", nullptr, nullptr);
    kx_eeg_manager_set_channel_gain(m, 3, 4);
    kx_multiplier_to_gain_mode(12);
    kxsim::ScriptThrow("kx_eeg_manager_is_connected", "x");
    EXPECT_THROW(kx_eeg_manager_is_connected(m), std::runtime_error);
    kx_eeg_manager_free(m);

    const std::vector<std::string> names = {
        "kx_eeg_manager_new",         "kx_eeg_manager_connect",      "kx_eeg_manager_set_channel_gain",
        "kx_multiplier_to_gain_mode", "kx_eeg_manager_is_connected", "kx_eeg_manager_free"};
    EXPECT_EQ(kxsim::CallNames(), names);
    auto calls = kxsim::Calls();
    ASSERT_EQ(calls.size(), names.size());
    EXPECT_EQ(calls[1].args, "m1, \"SIM ZEM 202\", null, null");
    EXPECT_EQ(calls[3].args, "12");
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_is_connected"), 1);
    kxsim::ClearCalls();
    EXPECT_TRUE(kxsim::CallNames().empty());
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_new"), 0);
}

TEST_F(ScriptingTest, Reset_RestoresTheDefaultWorldAndForgetsEverything) {
    kxsim::ScriptStatus("kx_core_init", 5, -1);
    kxsim::SetHeadsets({});
    kx_eeg_manager* m = kx_eeg_manager_new();
    kx_eeg_manager_free(m);
    kx_eeg_manager_free(m);
    ASSERT_FALSE(kxsim::Violations().empty());
    kxsim::Reset();
    EXPECT_TRUE(kxsim::Violations().empty());
    EXPECT_TRUE(kxsim::Calls().empty());
    EXPECT_EQ(kx_core_init(), KX_INIT_SUCCESS);
    const kx_device_list_entry* list = nullptr;
    size_t count = 0;
    EXPECT_EQ(kx_core_scan(&list, &count), KX_ERROR_OK);
    EXPECT_EQ(count, 2u);
}

}  // namespace
