// The default world: core operations, the scan list, device records.
#include <cstring>

#include "sim_test_util.h"

namespace {

using simtest::SimTest;
using WorldTest = SimTest;

TEST_F(WorldTest, CoreInit_SecondCallWarnsAlreadyInitialisedUntilClose) {
    EXPECT_EQ(kx_core_init(), KX_INIT_SUCCESS);
    EXPECT_EQ(kx_core_init(), KX_INIT_WARNING_ALREADY_INITIALIZED);
    kx_core_close();
    EXPECT_EQ(kx_core_init(), KX_INIT_SUCCESS);
}

TEST_F(WorldTest, VersionAndConfig_AreTheDocumentedDefaultsAndSettable) {
    const kx_version* v = kx_core_get_version();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->major, 3);
    EXPECT_EQ(v->minor, 6);
    EXPECT_EQ(v->patch, 0);

    sKXCORE_Config_t c;
    std::memset(&c, 0xAB, sizeof c);
    ASSERT_EQ(kx_core_get_config(&c), KX_ERROR_OK);
    EXPECT_EQ(c.chunk_size, 32u);
    EXPECT_STREQ(c.log_path, "kxcore.log");
    EXPECT_STREQ(c.update_path, "firmware");
    EXPECT_EQ(c.adapter_index, 0);

    kxsim::SetVersion({4, 1, 2});
    c.chunk_size = 64;
    kxsim::SetConfig(c);
    EXPECT_EQ(kx_core_get_version()->major, 4);
    sKXCORE_Config_t again{};
    kx_core_get_config(&again);
    EXPECT_EQ(again.chunk_size, 64u);
}

TEST_F(WorldTest, Scan_FindsTwoHeadsetsOfDifferentModelsWithNamesAndMacs) {
    const kx_device_list_entry* list = nullptr;
    size_t count = 0;
    ASSERT_EQ(kx_core_scan(&list, &count), KX_ERROR_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(list[0].name, "SIM SOLA 101");
    EXPECT_STREQ(list[1].name, "SIM ZEM 202");
    EXPECT_STRNE(list[0].mac_address, list[1].mac_address);
    auto defaults = kxsim::DefaultHeadsets();
    EXPECT_NE(defaults[0].model, defaults[1].model);
}

TEST_F(WorldTest, Scan_EmptyWorldReportsNoDevicesAndNullNamesArePassedOn) {
    kxsim::SetHeadsets({});
    const kx_device_list_entry* list = nullptr;
    size_t count = 9;
    EXPECT_EQ(kx_core_scan(&list, &count), KX_ERROR_NO_DEVICES_FOUND);
    EXPECT_EQ(count, 0u);

    kxsim::Headset h;
    h.null_name = true;
    h.mac = "11:22";
    kxsim::SetHeadsets({h});
    ASSERT_EQ(kx_core_scan(&list, &count), KX_ERROR_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(list[0].name, nullptr);
    EXPECT_STREQ(list[0].mac_address, "11:22");
}

TEST_F(WorldTest, ConnectedHeadset_ReportsItsInfoFeaturesAndBattery) {
    kx_eeg_manager* m = kx_eeg_manager_new();
    EXPECT_EQ(kx_eeg_manager_get_device_info(m), nullptr);
    kx_battery_info none = kx_eeg_manager_get_battery_info(m);
    EXPECT_EQ(none.level, 0);
    kx_eeg_manager_free(m);

    m = simtest::Connected("SIM ZEM 202");
    ASSERT_NE(m, nullptr);
    const kx_device_info* info = kx_eeg_manager_get_device_info(m);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->device_model, KX_MODEL_ZEM);
    EXPECT_EQ(info->sample_per_packet, 32u);
    EXPECT_EQ(info->serial_number, 202u);
    kx_device_features f = kx_core_device_features_get(info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(kx_core_device_features_electrode_count(f), 16);
    EXPECT_TRUE(kx_core_device_features_has_accel(f));
    EXPECT_TRUE(kx_core_device_features_has_gyro(f));
    EXPECT_FALSE(kx_core_device_features_is_bipolar(f));
    kx_battery_info b = kx_eeg_manager_get_battery_info(m);
    EXPECT_EQ(b.level, 54);
    EXPECT_TRUE(b.is_charging);
    kx_eeg_manager_free(m);

    // A record of the caller's own is looked up by model.
    kx_device_info mine{};
    mine.device_model = KX_MODEL_SOLA;
    kx_device_features sola = kx_core_device_features_get(&mine);
    ASSERT_NE(sola, nullptr);
    EXPECT_EQ(kx_core_device_features_electrode_count(sola), 8);
    EXPECT_FALSE(kx_core_device_features_has_accel(sola));
    mine.device_model = KX_MODEL_VELO;
    EXPECT_EQ(kx_core_device_features_get(&mine), nullptr);
    EXPECT_TRUE(kxsim::Violations().empty());
}

TEST_F(WorldTest, MultiplierToGainMode_MapsTheSixMultipliersAndMarksOthers) {
    const int multipliers[] = {1, 2, 4, 6, 8, 12};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(kx_multiplier_to_gain_mode(multipliers[i]), i);
    EXPECT_EQ(kx_multiplier_to_gain_mode(3), 255);
    EXPECT_EQ(kx_multiplier_to_gain_mode(-1), 255);
}

TEST_F(WorldTest, Settings_AreKeptPerChannelAndRateChangesTheReportedFrequency) {
    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(kxsim::ChannelEnabled(7));
    EXPECT_EQ(kx_eeg_manager_get_sample_frequency(m), KX_RATE_250);
    kx_eeg_manager_set_channel_enabled(m, 2, false);
    kx_eeg_manager_set_channel_gain(m, 5, KX_GAIN_X12);
    kx_eeg_manager_set_channel_bias(m, 1, KX_POLARITY_NEGATIVE);
    EXPECT_FALSE(kxsim::ChannelEnabled(2));
    EXPECT_EQ(kxsim::ChannelGain(5), KX_GAIN_X12);
    EXPECT_EQ(kxsim::ChannelGain(4), KX_GAIN_X1);
    EXPECT_EQ(kxsim::ChannelBias(1), KX_POLARITY_NEGATIVE);
    EXPECT_EQ(kx_eeg_manager_set_data_stream_rate(m, KX_RATE_1000), KX_ERROR_OK);
    EXPECT_EQ(kx_eeg_manager_get_sample_frequency(m), KX_RATE_1000);
    EXPECT_EQ(kxsim::RateCode(), KX_RATE_1000);
    EXPECT_EQ(kx_eeg_manager_set_data_stream_rate(m, 7), KX_ERROR_WRONG_VALUE);
    EXPECT_EQ(kx_eeg_manager_load_config(m, nullptr, nullptr), KX_ERROR_OK);
    EXPECT_TRUE(kxsim::Violations().empty());

    kx_eeg_manager_set_channel_gain(m, 8, KX_GAIN_X2);
    ASSERT_EQ(kxsim::Violations().size(), 1u);
    EXPECT_NE(kxsim::Violations()[0].find("out of range"), std::string::npos);
    kx_eeg_manager_free(m);
}

TEST_F(WorldTest, Annotations_KeepOrderAndStreamTimestampAndClear) {
    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(kx_eeg_manager_annotate(m, "before any stream"), KX_ERROR_OK);
    kxsim::SetManualStream(true);
    ASSERT_EQ(kx_eeg_manager_start_stream(m, nullptr, nullptr), KX_ERROR_OK);
    ASSERT_TRUE(kxsim::EmitChunks(3));
    EXPECT_EQ(kx_eeg_manager_annotate(m, "after three packets"), KX_ERROR_OK);
    kx_eeg_manager_stop_stream(m, nullptr, nullptr);
    EXPECT_EQ(kx_eeg_manager_annotate(m, "stopped"), KX_ERROR_OK);
    kxsim::AddRawAnnotation(99, nullptr);

    const kx_annotation* list = nullptr;
    uint64_t count = 0;
    kx_eeg_manager_get_annotations(m, &list, &count);
    ASSERT_EQ(count, 4u);
    EXPECT_STREQ(list[0].text, "before any stream");
    EXPECT_EQ(list[0].timestamp, 0u);
    EXPECT_STREQ(list[1].text, "after three packets");
    EXPECT_EQ(list[1].timestamp, 75u);
    EXPECT_EQ(list[2].timestamp, 75u);
    EXPECT_EQ(list[3].text, nullptr);
    EXPECT_EQ(list[3].timestamp, 99u);

    kxsim::ScriptStatus("kx_eeg_manager_annotate", KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING);
    EXPECT_EQ(kx_eeg_manager_annotate(m, "calibrating"), KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING);
    kx_eeg_manager_clear_annotations(m);
    kx_eeg_manager_get_annotations(m, &list, &count);
    EXPECT_EQ(count, 0u);
    kx_eeg_manager_free(m);
}

}  // namespace
