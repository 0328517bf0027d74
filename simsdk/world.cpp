// The world: its defaults, its one instance, and what the environment adds
// to it at first use.
#include "world.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace kxsim {

using namespace detail;

namespace {

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
            ApplyScenario(*this, text.str(), path, DirectoryOf(path));
        }
    }
}

World& TheWorld() {
    static World* world = new World();
    return *world;
}

void AddViolation(World& w, std::string what) {
    w.violations.push_back(std::move(what));
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
    w.clock_ppm = 0;
    w.manual = false;
    w.manual_pending = 0;
    w.manual_emitted = 0;
    w.count_change = false;
    w.count_change_after = 0;
    w.count_change_to = 0;
    w.chunks_produced = 0;
    w.link_callbacks_run = 0;
    w.signal = SignalKind::kEeg;
    w.eeg = EegSettings{};
    w.replay.reset();
}

}  // namespace detail
}  // namespace kxsim
