// The scenario text read by tests that cannot call C++.
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "sim_test_util.h"

namespace {

using simtest::SimTest;
using ScenarioTest = SimTest;

TEST_F(ScenarioTest, Directives_ScriptOutcomesAndDescribeTheWorld) {
    const char* text =
        "# comment line\n"
        "kx_core_init status 5\n"
        "kx_core_scan throw boom text times 2   # trailing comment\n"
        "kx_eeg_manager_new null\n"
        "kx_core_get_version throw-unknown\n"
        "kx_eeg_manager_is_streaming status 1 times -1\n"
        "\n"
        "headset SIM ONE|AA:01|3|4|10|1|0|1|77|40|1\n"
        "headset (null)|(null)|5|2|8|0|0|0\n"
        "version 3.7.1\n"
        "config chunk_size=64 log_path=/tmp/x.log\n"
        "connect status=0 link_up_ms=-1 callback_ms=2000 success=0\n"
        "drop_link_after_ms 500\n"
        "rate_code 9\n"
        "stream types 0 1 2 3 9\n"
        "stream null_channels 1\n"
        "stream start_delay_ms 200\n"
        "stream stop_delay_ms -1\n"
        "stream burst 300\n"
        "stream channel_count_after 10 4\n";
    ASSERT_TRUE(kxsim::LoadScenarioText(text));
    EXPECT_TRUE(kxsim::Violations().empty());

    EXPECT_EQ(kx_core_init(), 5);
    const kx_device_list_entry* list = nullptr;
    size_t count = 0;
    EXPECT_THROW(kx_core_scan(&list, &count), std::runtime_error);
    try {
        kx_core_scan(&list, &count);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "boom text");
    }
    ASSERT_EQ(kx_core_scan(&list, &count), KX_ERROR_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(list[0].name, "SIM ONE");
    EXPECT_EQ(list[1].name, nullptr);
    EXPECT_EQ(list[1].mac_address, nullptr);
    EXPECT_EQ(kx_eeg_manager_new(), nullptr);
    EXPECT_THROW(kx_core_get_version(), int);
    EXPECT_EQ(kx_core_get_version()->minor, 7);
    sKXCORE_Config_t c{};
    kx_core_get_config(&c);
    EXPECT_EQ(c.chunk_size, 64u);
    EXPECT_STREQ(c.log_path, "/tmp/x.log");

    kx_eeg_manager* m = kx_eeg_manager_new();
    EXPECT_TRUE(kx_eeg_manager_is_streaming(m));
    EXPECT_EQ(kx_eeg_manager_get_sample_frequency(m), 9);
    kx_eeg_manager_free(m);
}

TEST_F(ScenarioTest, ConnectDirective_ShapesTheNextConnect) {
    ASSERT_TRUE(kxsim::LoadScenarioText("connect status=2 link_up_ms=0 callback_ms=10 success=1\n"));
    simtest::LinkEvents ev;
    kx_eeg_manager* m = kx_eeg_manager_new();
    EXPECT_EQ(kx_eeg_manager_connect(m, "SIM ZEM 202", simtest::LinkEvents::OnConnect, &ev), 2);
    ASSERT_TRUE(ev.WaitConnects(1));
    EXPECT_TRUE(simtest::WaitLinked(m));
    kx_eeg_manager_free(m);
}

TEST_F(ScenarioTest, UnknownOrMalformedDirectives_AreRecordedAndTheRestStillApplies) {
    const char* text =
        "frobnicate everything\n"
        "kx_core_init null\n"
        "kx_core_init status x\n"
        "stream types 0 one\n"
        "headset too|few\n"
        "connect speed=3\n"
        "kx_core_init status 4\n";
    EXPECT_FALSE(kxsim::LoadScenarioText(text));
    auto v = kxsim::Violations();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_NE(v[0].find("scenario:1: unknown directive 'frobnicate'"), std::string::npos);
    EXPECT_NE(v[1].find("scenario:2:"), std::string::npos);
    EXPECT_EQ(kx_core_init(), 4);
}

TEST_F(ScenarioTest, MissingFile_IsRecorded) {
    EXPECT_FALSE(kxsim::LoadScenarioFile("/nonexistent/kxsim/scenario.txt"));
    EXPECT_EQ(kxsim::Violations().size(), 1u);
}

// Runs only in the process ctest starts with KXSIM_SCENARIO and KXSIM_LOG set;
// no Reset before it, so the world is the one the environment made.
TEST(ScenarioEnvironment, ScenarioIsReadAtFirstUseAndOperationsAreLogged) {
    const char* scenario = std::getenv("KXSIM_SCENARIO");
    const char* log = std::getenv("KXSIM_LOG");
    if (!scenario || !log || !std::getenv("KXSIM_LOG_EXPECTED")) GTEST_SKIP() << "needs KXSIM_SCENARIO and KXSIM_LOG";
    std::remove(log);
    EXPECT_EQ(kx_core_init(), 5);
    auto v = kxsim::Violations();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_NE(v[0].find("unknown directive 'frobnicate'"), std::string::npos);
    const kx_device_list_entry* list = nullptr;
    size_t count = 0;
    ASSERT_EQ(kx_core_scan(&list, &count), KX_ERROR_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(list[0].name, "SIM ENV 1");
    kx_eeg_manager_free(kx_eeg_manager_new());

    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string s; std::getline(in, s);) lines.push_back(s);
    // The log is opened at first use, after the remove above.
    EXPECT_EQ(lines,
              (std::vector<std::string>{"kx_core_init", "kx_core_scan", "kx_eeg_manager_new", "kx_eeg_manager_free"}));
}

}  // namespace
