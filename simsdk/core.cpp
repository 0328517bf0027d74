// Core operations of the simulated SDK: start and stop, version and
// configuration, the scan, device features, and the gain-mode table.
#include "operation.h"
#include "replay.h"

using kxsim::detail::Features;
using kxsim::detail::OperationScope;
using kxsim::detail::OutcomeKind;
using kxsim::detail::Ptr;
using kxsim::detail::World;

namespace kxsim {
namespace detail {

Features FeaturesOf(const Headset& h) {
    return Features{h.electrodes, h.accel, h.gyro, h.bipolar};
}

Headset EffectiveHeadset(const World& world, const Headset& headset) {
    Headset effective = headset;
    if (world.signal == SignalKind::kReplay && world.replay)
        effective.electrodes = static_cast<uint8_t>(world.replay->Channels());
    return effective;
}

namespace {

const Features* FeatureHandle(World& world, kx_device_features handle, const char* op) {
    if (!handle || !world.feature_handles.count(handle)) {
        AddViolation(world,
                     std::string(op) + (handle ? " with an unknown features handle" : " with a null features handle"));
        return nullptr;
    }
    return static_cast<const Features*>(handle);
}

// A feature query: the scripted value, else the field of a known handle, else zero.
template <typename T>
T FeatureQuery(kx_device_features handle, const char* op, T Features::*field) {
    OperationScope call(op, Ptr(handle));
    if (call.Scripted()) return static_cast<T>(call.script->status);
    const Features* features = FeatureHandle(call.world, handle, op);
    return features ? features->*field : T{};
}

}  // namespace
}  // namespace detail
}  // namespace kxsim

using kxsim::detail::FeatureQuery;

extern "C" {

kx_init_status kx_core_init(void) {
    OperationScope call("kx_core_init", "");
    if (call.Scripted()) return static_cast<kx_init_status>(call.script->status);
    if (call.world.initialised) return KX_INIT_WARNING_ALREADY_INITIALIZED;
    call.world.initialised = true;
    return KX_INIT_SUCCESS;
}

void kx_core_close(void) {
    OperationScope call("kx_core_close", "");
    if (call.Scripted()) return;
    call.world.initialised = false;
    std::vector<std::string>().swap(call.world.scan_strings);
    std::vector<kx_device_list_entry>().swap(call.world.scan_list);
}

const kx_version* kx_core_get_version(void) {
    OperationScope call("kx_core_get_version", "");
    if (call.Scripted()) return nullptr;
    return &call.world.version;
}

kx_status kx_core_get_config(sKXCORE_Config_t* config) {
    OperationScope call("kx_core_get_config", Ptr(config));
    if (call.Scripted()) return static_cast<kx_status>(call.script->status);
    if (!config) {
        AddViolation(call.world, "kx_core_get_config with a null record");
        return KX_ERROR_WRONG_VALUE;
    }
    *config = call.world.config;
    return KX_ERROR_OK;
}

kx_status kx_core_scan(const kx_device_list_entry** list, size_t* count) {
    OperationScope call("kx_core_scan", Ptr(list) + ", " + Ptr(count));
    World& world = call.world;
    if (!list || !count) {
        AddViolation(world, "kx_core_scan with a null out-argument");
        if (call.script) ThrowIfScripted(*call.script);
        return KX_ERROR_WRONG_VALUE;
    }
    if (call.Scripted()) {
        *list = nullptr;
        // A null list carries the count it was scripted with (ScriptNullList).
        const bool null_list = call.script->kind == OutcomeKind::kNull;
        *count = null_list ? static_cast<size_t>(call.script->status) : 0;
        return null_list ? static_cast<kx_status>(KX_ERROR_OK) : static_cast<kx_status>(call.script->status);
    }
    std::vector<std::string> strings;
    std::vector<kx_device_list_entry> rows;
    strings.reserve(world.headsets.size() * 2);
    for (const auto& h : world.headsets) {
        strings.push_back(h.name);
        strings.push_back(h.mac);
    }
    for (size_t i = 0; i < world.headsets.size(); ++i) {
        const auto& h = world.headsets[i];
        rows.push_back(
            {h.null_name ? nullptr : strings[2 * i].c_str(), h.null_mac ? nullptr : strings[2 * i + 1].c_str()});
    }
    // The previous list is released here, as the SDK does on the next scan.
    world.scan_strings.swap(strings);
    world.scan_list.swap(rows);
    if (world.scan_list.empty()) {
        *list = nullptr;
        *count = 0;
        return KX_ERROR_NO_DEVICES_FOUND;
    }
    *list = world.scan_list.data();
    *count = world.scan_list.size();
    return KX_ERROR_OK;
}

kx_device_features kx_core_device_features_get(const kx_device_info* info) {
    OperationScope call("kx_core_device_features_get", Ptr(info));
    World& world = call.world;
    if (call.Scripted()) return nullptr;
    if (!info) {
        AddViolation(world, "kx_core_device_features_get with a null device info");
        return nullptr;
    }
    for (auto& m : world.managers)
        if (&m->info == info && m->has_headset) return &m->features;
    for (const auto& h : world.headsets) {
        if (h.model == info->device_model) {
            world.looked_up_features.push_back(kxsim::detail::FeaturesOf(kxsim::detail::EffectiveHeadset(world, h)));
            const void* handle = &world.looked_up_features.back();
            world.feature_handles.insert(handle);
            return handle;
        }
    }
    return nullptr;
}

uint8_t kx_core_device_features_electrode_count(kx_device_features features) {
    return FeatureQuery(features, "kx_core_device_features_electrode_count", &Features::electrodes);
}

bool kx_core_device_features_has_accel(kx_device_features features) {
    return FeatureQuery(features, "kx_core_device_features_has_accel", &Features::accel);
}

bool kx_core_device_features_has_gyro(kx_device_features features) {
    return FeatureQuery(features, "kx_core_device_features_has_gyro", &Features::gyro);
}

bool kx_core_device_features_is_bipolar(kx_device_features features) {
    return FeatureQuery(features, "kx_core_device_features_is_bipolar", &Features::bipolar);
}

uint8_t kx_multiplier_to_gain_mode(int32_t multiplier) {
    OperationScope call("kx_multiplier_to_gain_mode", std::to_string(multiplier));
    if (call.Scripted()) return static_cast<uint8_t>(call.script->status);
    switch (multiplier) {
        case 1: return KX_GAIN_X1;
        case 2: return KX_GAIN_X2;
        case 4: return KX_GAIN_X4;
        case 6: return KX_GAIN_X6;
        case 8: return KX_GAIN_X8;
        case 12: return KX_GAIN_X12;
        default: return 255;
    }
}

}  // extern "C"
