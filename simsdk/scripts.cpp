// The call log and the scripted outcomes: which operations exist, what a
// script may make each of them do, and how a call takes its outcome.
#include <stdexcept>

#include "world.h"

namespace kxsim {
namespace detail {
namespace {

constexpr size_t kCallLogCapacity = 1000000;

struct OpEntry {
    const char* name;
    unsigned caps;
};

// Every operation of kxcore.h and the outcomes a script may give it.
const OpEntry kOps[] = {
    {"kx_core_init", kCapStatus},
    {"kx_core_close", 0},
    {"kx_core_get_version", kCapNull},
    {"kx_core_get_config", kCapStatus},
    {"kx_core_scan", kCapStatus | kCapNull},
    {"kx_core_device_features_get", kCapNull},
    {"kx_core_device_features_electrode_count", kCapStatus},
    {"kx_core_device_features_has_accel", kCapStatus},
    {"kx_core_device_features_has_gyro", kCapStatus},
    {"kx_core_device_features_is_bipolar", kCapStatus},
    {"kx_eeg_manager_new", kCapNull},
    {"kx_eeg_manager_free", 0},
    {"kx_eeg_manager_connect", kCapStatus},
    {"kx_eeg_manager_disconnect", 0},
    {"kx_eeg_manager_is_connected", kCapStatus},
    {"kx_eeg_manager_is_streaming", kCapStatus},
    {"kx_eeg_manager_set_callback_chunk", 0},
    {"kx_eeg_manager_set_callback_disconnect", 0},
    {"kx_eeg_manager_start_stream", kCapStatus},
    {"kx_eeg_manager_stop_stream", kCapStatus},
    {"kx_eeg_manager_load_config", kCapStatus},
    {"kx_eeg_manager_get_sample_frequency", kCapStatus},
    {"kx_eeg_manager_get_stream_channel_data_types", kCapNull},
    {"kx_eeg_manager_get_device_info", kCapNull},
    {"kx_eeg_manager_get_battery_info", kCapStatus},
    {"kx_eeg_manager_set_channel_enabled", 0},
    {"kx_eeg_manager_set_channel_gain", 0},
    {"kx_eeg_manager_set_channel_bias", 0},
    {"kx_multiplier_to_gain_mode", kCapStatus},
    {"kx_eeg_manager_set_data_stream_rate", kCapStatus},
    {"kx_eeg_manager_annotate", kCapStatus},
    {"kx_eeg_manager_get_annotations", kCapNull},
    {"kx_eeg_manager_clear_annotations", 0},
};

}  // namespace

std::optional<Outcome> Enter(World& w, const char* op, std::string args) {
    const auto counted = w.call_counts.find(op);
    if (counted != w.call_counts.end()) {
        ++counted->second;
    } else {
        w.call_counts.emplace(op, 1);
    }
    if (w.calls.size() < kCallLogCapacity) {
        w.calls.push_back(World::LoggedCall{op, std::move(args)});
    } else {
        ++w.calls_dropped;
    }
    if (w.log_file) {
        std::fputs(op, w.log_file);
        std::fputc('\n', w.log_file);
        std::fflush(w.log_file);
    }
    w.changed.notify_all();

    auto it = w.scripts.find(op);
    if (it == w.scripts.end() || it->second.empty()) return std::nullopt;
    Outcome& front = it->second.front();
    Outcome taken = front;
    if (front.times > 0 && --front.times == 0) it->second.pop_front();
    return taken;
}

void ThrowIfScripted(const Outcome& o) {
    if (o.kind == OutcomeKind::kThrow) throw std::runtime_error(o.what);
    if (o.kind == OutcomeKind::kThrowUnknown) throw 42;
}

unsigned OpCapabilities(const std::string& op, bool* known) {
    for (const OpEntry& e : kOps) {
        if (op == e.name) {
            *known = true;
            return e.caps;
        }
    }
    *known = false;
    return 0;
}

void AddScript(World& w, const std::string& op, Outcome o, bool record) {
    bool known = false;
    unsigned caps = OpCapabilities(op, &known);
    std::string problem;
    if (!known) {
        problem = "script for unknown operation '" + op + "'";
    } else if (o.times == 0 || o.times < -1) {
        problem = "script for '" + op + "' with times " + std::to_string(o.times);
    } else if (o.kind == OutcomeKind::kStatus && !(caps & kCapStatus)) {
        problem = "'" + op + "' has no status or value to script";
    } else if (o.kind == OutcomeKind::kStatus && (o.status < 0 || o.status > 255)) {
        problem = "status " + std::to_string(o.status) + " for '" + op + "' is not a byte";
    } else if (o.kind == OutcomeKind::kNull && !(caps & kCapNull)) {
        problem = "'" + op + "' has no pointer result to script as null";
    }
    if (!problem.empty()) {
        if (record) AddViolation(w, problem);
        throw std::invalid_argument("kxsim: " + problem);
    }
    w.scripts[op].push_back(std::move(o));
}

}  // namespace detail
}  // namespace kxsim
