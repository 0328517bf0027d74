// Contract checks: misuse is recorded as a violation, never a crash.
#include "sim_test_util.h"

namespace {

using simtest::SimTest;
using ContractTest = SimTest;

bool Mentions(const std::vector<std::string>& v, const std::string& text) {
    for (const auto& s : v)
        if (s.find(text) != std::string::npos) return true;
    return false;
}

TEST_F(ContractTest, OperationsOnAFreedManager_AreViolationsAndAnswerNeutrally) {
    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    kx_eeg_manager_free(m);
    ASSERT_TRUE(kxsim::Violations().empty());

    EXPECT_FALSE(kx_eeg_manager_is_connected(m));
    EXPECT_EQ(kx_eeg_manager_start_stream(m, nullptr, nullptr), KX_ERROR_CONNECTION);
    EXPECT_EQ(kx_eeg_manager_get_device_info(m), nullptr);
    const uint8_t* types = nullptr;
    size_t count = 5;
    kx_eeg_manager_get_stream_channel_data_types(m, &types, &count);
    EXPECT_EQ(count, 0u);
    kx_eeg_manager_set_callback_chunk(m, nullptr, nullptr);
    auto v = kxsim::Violations();
    EXPECT_EQ(v.size(), 5u);
    EXPECT_TRUE(Mentions(v, "kx_eeg_manager_is_connected on freed manager m1"));
}

TEST_F(ContractTest, SecondFree_IsRecorded) {
    kx_eeg_manager* m = kx_eeg_manager_new();
    kx_eeg_manager_free(m);
    kx_eeg_manager_free(m);
    auto v = kxsim::Violations();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_NE(v[0].find("second kx_eeg_manager_free of m1"), std::string::npos);
}

TEST_F(ContractTest, UnknownAndNullPointers_AreRecorded) {
    int not_a_manager = 0;
    auto* bogus = reinterpret_cast<kx_eeg_manager*>(&not_a_manager);
    EXPECT_FALSE(kx_eeg_manager_is_streaming(bogus));
    kx_eeg_manager_free(bogus);
    EXPECT_EQ(kx_eeg_manager_connect(nullptr, "SIM SOLA 101", nullptr, nullptr), KX_ERROR_CONNECTION);
    EXPECT_EQ(kx_core_device_features_electrode_count(&not_a_manager), 0);
    EXPECT_FALSE(kx_core_device_features_has_gyro(nullptr));
    auto v = kxsim::Violations();
    ASSERT_EQ(v.size(), 5u);
    EXPECT_TRUE(Mentions(v, "kx_eeg_manager_is_streaming on an unknown manager pointer"));
    EXPECT_TRUE(Mentions(v, "kx_eeg_manager_free on an unknown manager pointer"));
    EXPECT_TRUE(Mentions(v, "kx_eeg_manager_connect on a null manager"));
    EXPECT_TRUE(Mentions(v, "unknown features handle"));
    EXPECT_TRUE(Mentions(v, "null features handle"));
}

TEST_F(ContractTest, ManagerFromBeforeReset_IsUnknownAfterIt) {
    kx_eeg_manager* m = kx_eeg_manager_new();
    kxsim::Reset();
    EXPECT_EQ(kxsim::LiveManagers(), 0);
    EXPECT_FALSE(kx_eeg_manager_is_connected(m));
    ASSERT_EQ(kxsim::Violations().size(), 1u);
    // A manager created after Reset never reuses the old address.
    kx_eeg_manager* fresh = kx_eeg_manager_new();
    EXPECT_NE(fresh, m);
    kx_eeg_manager_free(fresh);
}

TEST_F(ContractTest, FreeWhileStreaming_StopsDeliveryBeforeItReturns) {
    struct Counter {
        std::atomic<int> calls{0};
        static void OnChunk(const void* const*, size_t, void* user) { ++static_cast<Counter*>(user)->calls; }
    } counter;
    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    kx_eeg_manager_set_data_stream_rate(m, KX_RATE_16000);
    kx_eeg_manager_set_callback_chunk(m, Counter::OnChunk, &counter);
    ASSERT_EQ(kx_eeg_manager_start_stream(m, nullptr, nullptr), KX_ERROR_OK);
    ASSERT_TRUE(kxsim::WaitForChunks(20));
    kx_eeg_manager_free(m);
    const int after_free = counter.calls.load();
    EXPECT_EQ(static_cast<uint64_t>(after_free), kxsim::ChunksProduced());
    EXPECT_FALSE(kxsim::EmitChunks(1, 50));  // nothing streams any more
    EXPECT_EQ(counter.calls.load(), after_free);
    EXPECT_TRUE(kxsim::Violations().empty());
}

}  // namespace
