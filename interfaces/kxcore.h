/*
 * The device SDK boundary: every operation of libkxcore.so.3 that the
 * gateway calls, and the records it reads. The gateway reaches the SDK only
 * through this header; the simulated SDK under simsdk/ implements it too.
 *
 * The SDK is a C++ library with C linkage: any operation may throw a C++
 * exception (std::exception or otherwise), which is why the gateway wraps
 * its calls. Records stay owned by the SDK and are only read.
 */
#ifndef KX_INTERFACES_KXCORE_H
#define KX_INTERFACES_KXCORE_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define KX_SDK_API __attribute__((visibility("default")))
#else
#define KX_SDK_API
#endif

/* General status of every operation but kx_core_init: 0 is success. */
typedef uint8_t kx_status;
/* Status of kx_core_init: 0 is success, 7 "already initialised" too. */
typedef uint8_t kx_init_status;

enum {
    KX_ERROR_OK = 0,
    KX_ERROR_CONNECTION = 1,
    KX_ERROR_UNSUPPORTED_DEVICE = 2,
    KX_ERROR_WRONG_VALUE = 3,
    KX_ERROR_BLUETOOTH_DISABLED = 4,
    KX_ERROR_BLUETOOTH_ADAPTER_NOT_FOUND = 5,
    KX_ERROR_ADAPTER_OUT_OF_INDEX = 6,
    KX_ERROR_UPDATE_FILE_NOT_FOUND = 7,
    KX_ERROR_UPDATE_INITIATED_UNSUCCESSFULLY = 8,
    KX_ERROR_UPDATE_FAILED_DEVICE_DISCONNECTED = 9,
    KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING = 10,
    KX_ERROR_NO_DEVICES_FOUND = 11,
    KX_ERROR_NOT_ALL_MANAGERS_CLOSED = 12,
    KX_ERROR_CORE_NOT_INITIALIZED = 13,
    KX_ERROR_PATH_NOT_FOUND = 14
};

enum {
    KX_INIT_SUCCESS = 0,
    KX_INIT_ERROR_CONFIG_TYPE = 1,
    KX_INIT_ERROR_WRONG_ADAPTER_VALUE = 2,
    KX_INIT_ERROR_INCOMPATIBLE_VERSION = 3,
    KX_INIT_ERROR_NOT_ENABLED = 4,
    KX_INIT_ERROR_NOT_FOUND = 5,
    KX_INIT_ERROR_CONFIG_PARSE = 6,
    KX_INIT_WARNING_ALREADY_INITIALIZED = 7,
    KX_INIT_ERROR_INVALID_PATH = 8
};

/* Channel element types reported by kx_eeg_manager_get_stream_channel_data_types. */
enum { KX_DATA_TYPE_FLOAT32 = 0, KX_DATA_TYPE_UINT8 = 1, KX_DATA_TYPE_UINT64 = 2, KX_DATA_TYPE_FLOAT64 = 3 };

/* Device model codes of kx_device_info.device_model. */
enum {
    KX_MODEL_VELO = 0,
    KX_MODEL_RUNA = 1,
    KX_MODEL_TOKA = 2,
    KX_MODEL_ZEM = 3,
    KX_MODEL_SOLA1 = 4,
    KX_MODEL_SOLA = 5
};

/* Gain codes (GainMode) and bias codes (polarity). */
enum { KX_GAIN_X1 = 0, KX_GAIN_X2 = 1, KX_GAIN_X4 = 2, KX_GAIN_X6 = 3, KX_GAIN_X8 = 4, KX_GAIN_X12 = 5 };
enum { KX_POLARITY_NONE = 0, KX_POLARITY_BOTH = 1, KX_POLARITY_POSITIVE = 2, KX_POLARITY_NEGATIVE = 3 };

/* Stream-rate codes: 0 is 16000 Hz, halving down to 6 for 250 Hz. */
enum {
    KX_RATE_16000 = 0,
    KX_RATE_8000 = 1,
    KX_RATE_4000 = 2,
    KX_RATE_2000 = 3,
    KX_RATE_1000 = 4,
    KX_RATE_500 = 5,
    KX_RATE_250 = 6
};

typedef struct kx_version {
    uint8_t major;
    uint8_t minor;
    uint8_t patch;
} kx_version;

#define KX_CONFIG_PATH_CAPACITY 200

typedef struct sKXCORE_Config_t {
    uint64_t log_buffer_size;
    char log_path[KX_CONFIG_PATH_CAPACITY];
    uint8_t log_level;
    bool append_logs;
    bool timestamps_enabled;
    bool autoflush;
    bool thread_ids_enabled;
    uint64_t chunk_size;
    bool enable_logs;
    char update_path[KX_CONFIG_PATH_CAPACITY];
    uint8_t adapter_index;
} sKXCORE_Config_t;

typedef struct kx_device_info {
    uint8_t device_model;
    kx_version hardware_version;
    kx_version firmware_version;
    uint64_t serial_number;
    uint64_t sample_per_packet;
} kx_device_info;

typedef struct kx_battery_info {
    uint8_t level;
    bool is_charger_connected;
    bool is_charging;
} kx_battery_info;

/* One row of the list kx_core_scan hands out; either pointer may be null. */
typedef struct kx_device_list_entry {
    const char* name;
    const char* mac_address;
} kx_device_list_entry;

/* One element of the array kx_eeg_manager_get_annotations hands out. */
typedef struct kx_annotation {
    uint64_t timestamp;
    const char* text;
} kx_annotation;

typedef struct kx_eeg_manager kx_eeg_manager;
/* Read-only device-features handle; never freed by its user. */
typedef const void* kx_device_features;

typedef void (*kx_connect_callback)(bool connected, void* user);
/* data holds one pointer per streamed channel (any may be null), each to
 * sample_count elements of the type that channel's data-type code names. */
typedef void (*kx_chunk_callback)(const void* const* data, size_t sample_count, void* user);
typedef void (*kx_disconnect_callback)(void* user);

KX_SDK_API kx_init_status kx_core_init(void);
KX_SDK_API void kx_core_close(void);
KX_SDK_API const kx_version* kx_core_get_version(void);
KX_SDK_API kx_status kx_core_get_config(sKXCORE_Config_t* config);
KX_SDK_API kx_status kx_core_scan(const kx_device_list_entry** list, size_t* count);

KX_SDK_API kx_device_features kx_core_device_features_get(const kx_device_info* info);
KX_SDK_API uint8_t kx_core_device_features_electrode_count(kx_device_features features);
KX_SDK_API bool kx_core_device_features_has_accel(kx_device_features features);
KX_SDK_API bool kx_core_device_features_has_gyro(kx_device_features features);
KX_SDK_API bool kx_core_device_features_is_bipolar(kx_device_features features);

KX_SDK_API kx_eeg_manager* kx_eeg_manager_new(void);
KX_SDK_API void kx_eeg_manager_free(kx_eeg_manager* manager);
KX_SDK_API kx_status kx_eeg_manager_connect(kx_eeg_manager* manager, const char* device_name,
                                            kx_connect_callback callback, void* user);
KX_SDK_API void kx_eeg_manager_disconnect(kx_eeg_manager* manager);
KX_SDK_API bool kx_eeg_manager_is_connected(kx_eeg_manager* manager);
KX_SDK_API bool kx_eeg_manager_is_streaming(kx_eeg_manager* manager);

KX_SDK_API void kx_eeg_manager_set_callback_chunk(kx_eeg_manager* manager, kx_chunk_callback callback, void* user);
KX_SDK_API void kx_eeg_manager_set_callback_disconnect(kx_eeg_manager* manager, kx_disconnect_callback callback,
                                                       void* user);

KX_SDK_API kx_status kx_eeg_manager_start_stream(kx_eeg_manager* manager, void* reserved1, void* reserved2);
KX_SDK_API kx_status kx_eeg_manager_stop_stream(kx_eeg_manager* manager, void* reserved1, void* reserved2);
KX_SDK_API kx_status kx_eeg_manager_load_config(kx_eeg_manager* manager, void* reserved1, void* reserved2);

KX_SDK_API uint8_t kx_eeg_manager_get_sample_frequency(kx_eeg_manager* manager);
KX_SDK_API void kx_eeg_manager_get_stream_channel_data_types(kx_eeg_manager* manager, const uint8_t** types,
                                                             size_t* count);
KX_SDK_API const kx_device_info* kx_eeg_manager_get_device_info(kx_eeg_manager* manager);
KX_SDK_API kx_battery_info kx_eeg_manager_get_battery_info(kx_eeg_manager* manager);

KX_SDK_API void kx_eeg_manager_set_channel_enabled(kx_eeg_manager* manager, uint16_t channel, bool enabled);
KX_SDK_API void kx_eeg_manager_set_channel_gain(kx_eeg_manager* manager, uint16_t channel, uint8_t gain_mode);
KX_SDK_API void kx_eeg_manager_set_channel_bias(kx_eeg_manager* manager, uint16_t channel, uint8_t polarity);
KX_SDK_API uint8_t kx_multiplier_to_gain_mode(int32_t multiplier);
KX_SDK_API kx_status kx_eeg_manager_set_data_stream_rate(kx_eeg_manager* manager, uint8_t rate_code);

KX_SDK_API kx_status kx_eeg_manager_annotate(kx_eeg_manager* manager, const char* text);
KX_SDK_API void kx_eeg_manager_get_annotations(kx_eeg_manager* manager, const kx_annotation** list, uint64_t* count);
KX_SDK_API void kx_eeg_manager_clear_annotations(kx_eeg_manager* manager);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The record layouts are the SDK's; a mismatch here would read garbage. */
#ifdef __cplusplus
#define KX_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define KX_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

KX_STATIC_ASSERT(sizeof(kx_version) == 3, "kx_version is 3 bytes");
KX_STATIC_ASSERT(offsetof(kx_version, major) == 0, "kx_version.major at 0");
KX_STATIC_ASSERT(offsetof(kx_version, minor) == 1, "kx_version.minor at 1");
KX_STATIC_ASSERT(offsetof(kx_version, patch) == 2, "kx_version.patch at 2");

KX_STATIC_ASSERT(sizeof(bool) == 1, "SDK booleans are one byte");
KX_STATIC_ASSERT(sizeof(sKXCORE_Config_t) == 432, "sKXCORE_Config_t is 432 bytes");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, log_buffer_size) == 0, "log_buffer_size at 0");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, log_path) == 8, "log_path at 8");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, log_level) == 208, "log_level at 208");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, append_logs) == 209, "append_logs at 209");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, timestamps_enabled) == 210, "timestamps_enabled at 210");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, autoflush) == 211, "autoflush at 211");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, thread_ids_enabled) == 212, "thread_ids_enabled at 212");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, chunk_size) == 216, "chunk_size at 216");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, enable_logs) == 224, "enable_logs at 224");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, update_path) == 225, "update_path at 225");
KX_STATIC_ASSERT(offsetof(sKXCORE_Config_t, adapter_index) == 425, "adapter_index at 425");

KX_STATIC_ASSERT(sizeof(kx_device_info) == 24, "kx_device_info is 24 bytes");
KX_STATIC_ASSERT(offsetof(kx_device_info, device_model) == 0, "device_model at 0");
KX_STATIC_ASSERT(offsetof(kx_device_info, hardware_version) == 1, "hardware_version at 1");
KX_STATIC_ASSERT(offsetof(kx_device_info, firmware_version) == 4, "firmware_version at 4");
KX_STATIC_ASSERT(offsetof(kx_device_info, serial_number) == 8, "serial_number at 8");
KX_STATIC_ASSERT(offsetof(kx_device_info, sample_per_packet) == 16, "sample_per_packet at 16");

KX_STATIC_ASSERT(sizeof(kx_battery_info) == 3, "kx_battery_info is 3 bytes");
KX_STATIC_ASSERT(offsetof(kx_battery_info, level) == 0, "level at 0");
KX_STATIC_ASSERT(offsetof(kx_battery_info, is_charger_connected) == 1, "is_charger_connected at 1");
KX_STATIC_ASSERT(offsetof(kx_battery_info, is_charging) == 2, "is_charging at 2");

KX_STATIC_ASSERT(sizeof(kx_device_list_entry) == 16, "a scan row is two pointers");
KX_STATIC_ASSERT(offsetof(kx_device_list_entry, name) == 0, "name at 0");
KX_STATIC_ASSERT(offsetof(kx_device_list_entry, mac_address) == 8, "mac_address at 8");

KX_STATIC_ASSERT(sizeof(kx_annotation) == 16, "kx_annotation is 16 bytes");
KX_STATIC_ASSERT(offsetof(kx_annotation, timestamp) == 0, "timestamp at 0");
KX_STATIC_ASSERT(offsetof(kx_annotation, text) == 8, "text at 8");

#undef KX_STATIC_ASSERT

#endif /* KX_INTERFACES_KXCORE_H */
