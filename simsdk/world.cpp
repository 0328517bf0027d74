#include "world.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace kxsim {

namespace {

constexpr size_t kCallLogCapacity = 1000000;

struct OpEntry {
    const char* name;
    unsigned caps;
};

using namespace detail;

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

void CopyText(char* dst, size_t capacity, const char* src) {
    std::memset(dst, 0, capacity);
    std::strncpy(dst, src, capacity - 1);
}

}  // namespace

std::vector<Headset> DefaultHeadsets() {
    Headset sola;
    sola.name = "SIM SOLA 101";
    sola.mac = "00:1A:7D:00:01:01";
    sola.model = KX_MODEL_SOLA;
    sola.hardware = kx_version{1, 2, 0};
    sola.firmware = kx_version{2, 4, 1};
    sola.serial = 101;
    sola.sample_per_packet = 25;
    sola.electrodes = 8;
    sola.battery = kx_battery_info{87, false, false};

    Headset zem;
    zem.name = "SIM ZEM 202";
    zem.mac = "00:1A:7D:00:02:02";
    zem.model = KX_MODEL_ZEM;
    zem.hardware = kx_version{2, 0, 0};
    zem.firmware = kx_version{3, 1, 0};
    zem.serial = 202;
    zem.sample_per_packet = 32;
    zem.electrodes = 16;
    zem.accel = true;
    zem.gyro = true;
    zem.battery = kx_battery_info{54, true, true};
    return {sola, zem};
}

sKXCORE_Config_t DefaultConfig() {
    sKXCORE_Config_t c{};
    c.log_buffer_size = 4096;
    CopyText(c.log_path, sizeof c.log_path, "kxcore.log");
    c.log_level = 2;
    c.append_logs = false;
    c.timestamps_enabled = true;
    c.autoflush = true;
    c.thread_ids_enabled = false;
    c.chunk_size = 32;
    c.enable_logs = false;
    CopyText(c.update_path, sizeof c.update_path, "firmware");
    c.adapter_index = 0;
    return c;
}

namespace detail {

World::World() {
    ResetDescription(*this);
    if (const char* log = std::getenv("KXSIM_LOG"); log && *log) {
        log_file = std::fopen(log, "a");
        if (!log_file) AddViolation(*this, std::string("cannot open KXSIM_LOG file ") + log);
    }
    if (const char* path = std::getenv("KXSIM_SCENARIO"); path && *path) {
        std::ifstream in(path);
        if (!in) {
            std::cerr << "kxsim: cannot read KXSIM_SCENARIO file " << path << "\n";
            AddViolation(*this, std::string("cannot read KXSIM_SCENARIO file ") + path);
        } else {
            std::stringstream text;
            text << in.rdbuf();
            ApplyScenario(*this, text.str(), path);
        }
    }
}

World& TheWorld() {
    static World* world = new World();
    return *world;
}

void AddViolation(World& w, std::string what) { w.violations.push_back(std::move(what)); }

std::optional<Outcome> Enter(World& w, const char* op, std::string args) {
    ++w.call_counts[op];
    if (w.calls.size() < kCallLogCapacity) {
        w.calls.push_back(Call{op, std::move(args)});
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

void ResetDescription(World& w) {
    w.scripts.clear();
    w.headsets = DefaultHeadsets();
    w.version = kx_version{3, 6, 0};
    w.config = DefaultConfig();
    w.plan = ConnectPlan{};
    w.initial_rate_code = KX_RATE_250;
    w.initialised = false;
    w.types_set = false;
    w.channel_types.clear();
    w.null_channels.clear();
    w.start_delay_ms = 0;
    w.stop_delay_ms = 0;
    w.start_burst = 0;
    w.manual = false;
    w.manual_pending = 0;
    w.manual_emitted = 0;
    w.count_change = false;
    w.count_change_after = 0;
    w.count_change_to = 0;
    w.chunks_produced = 0;
}

}  // namespace detail
}  // namespace kxsim
