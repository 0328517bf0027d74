// Reader of the scenario text (grammar in kxsim.h).
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "world.h"

namespace kxsim {
namespace detail {
namespace {

using Tokens = std::vector<std::string>;

[[noreturn]] void Bad(const std::string& why) {
    throw std::invalid_argument(why);
}

long long Int(const std::string& s) {
    try {
        size_t used = 0;
        long long v = std::stoll(s, &used, 10);
        if (used == s.size()) return v;
    } catch (const std::exception&) {
    }
    Bad("'" + s + "' is not an integer");
}

long long IntIn(const std::string& s, long long lo, long long hi) {
    long long v = Int(s);
    if (v < lo || v > hi) Bad(s + " is outside " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

bool Bool(const std::string& s) {
    return IntIn(s, 0, 1) != 0;
}

kx_version Version(const std::string& s) {
    Tokens parts;
    std::stringstream in(s);
    for (std::string p; std::getline(in, p, '.');) parts.push_back(p);
    if (parts.size() != 3) Bad("'" + s + "' is not MAJOR.MINOR.PATCH");
    return kx_version{static_cast<uint8_t>(IntIn(parts[0], 0, 255)), static_cast<uint8_t>(IntIn(parts[1], 0, 255)),
                      static_cast<uint8_t>(IntIn(parts[2], 0, 255))};
}

std::string Trim(const std::string& s) {
    const char* ws = " \t\r\n";
    size_t a = s.find_first_not_of(ws);
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(ws) - a + 1);
}

std::pair<std::string, std::string> KeyValue(const std::string& token) {
    size_t eq = token.find('=');
    if (eq == std::string::npos || eq == 0) Bad("'" + token + "' is not KEY=VALUE");
    return {token.substr(0, eq), token.substr(eq + 1)};
}

void Text(char* dst, size_t capacity, const std::string& v) {
    if (v.size() >= capacity) Bad("text longer than " + std::to_string(capacity - 1) + " characters");
    std::memset(dst, 0, capacity);
    std::memcpy(dst, v.data(), v.size());
}

void OpDirective(World& w, const std::string& op, Tokens t) {
    int times = 1;
    if (t.size() >= 4 && t[t.size() - 2] == "times") {
        times = static_cast<int>(IntIn(t.back(), -1, 1000000000));
        t.resize(t.size() - 2);
    }
    if (t.size() < 2) Bad("'" + op + "' needs an outcome (status N, null, throw TEXT, throw-unknown)");
    const std::string& kind = t[1];
    Outcome o;
    o.times = times;
    if (kind == "status" && t.size() == 3) {
        o.kind = OutcomeKind::kStatus;
        o.status = static_cast<int>(Int(t[2]));
    } else if (kind == "null" && t.size() == 2) {
        o.kind = OutcomeKind::kNull;
    } else if (kind == "null-list" && t.size() == 3 &&
               (op == "kx_core_scan" || op == "kx_eeg_manager_get_annotations")) {
        o.kind = OutcomeKind::kNull;
        o.status = static_cast<int>(IntIn(t[2], 0, 1000000));
    } else if (kind == "throw" && t.size() >= 3) {
        o.kind = OutcomeKind::kThrow;
        for (size_t i = 2; i < t.size(); ++i) o.what += (i > 2 ? " " : "") + t[i];
    } else if (kind == "throw-unknown" && t.size() == 2) {
        o.kind = OutcomeKind::kThrowUnknown;
    } else {
        Bad("'" + op + "' outcome not understood");
    }
    AddScript(w, op, std::move(o), false);
}

void HeadsetDirective(World& w, const std::string& rest, bool* replaced) {
    Tokens f;
    std::stringstream in(rest);
    for (std::string p; std::getline(in, p, '|');) f.push_back(Trim(p));
    if (!rest.empty() && rest.back() == '|') f.push_back("");
    if (f.size() < 8 || f.size() > 13)
        Bad("headset needs "
            "NAME|MAC|model|electrodes|spp|accel|gyro|bipolar[|serial|battery|charging|hardware|firmware]");
    Headset h;
    h.null_name = f[0] == "(null)";
    h.name = h.null_name ? "" : f[0];
    h.null_mac = f[1] == "(null)";
    h.mac = h.null_mac ? "" : f[1];
    h.model = static_cast<uint8_t>(IntIn(f[2], 0, 255));
    h.electrodes = static_cast<uint8_t>(IntIn(f[3], 0, 255));
    h.sample_per_packet = static_cast<uint64_t>(IntIn(f[4], 0, 1000000));
    h.accel = Bool(f[5]);
    h.gyro = Bool(f[6]);
    h.bipolar = Bool(f[7]);
    if (f.size() > 8) h.serial = static_cast<uint64_t>(IntIn(f[8], 0, INT64_MAX));
    if (f.size() > 9) h.battery.level = static_cast<uint8_t>(IntIn(f[9], 0, 255));
    if (f.size() > 10) h.battery.is_charging = h.battery.is_charger_connected = Bool(f[10]);
    if (f.size() > 11) h.hardware = Version(f[11]);
    if (f.size() > 12) h.firmware = Version(f[12]);
    if (!*replaced) w.headsets.clear();
    *replaced = true;
    w.headsets.push_back(h);
}

void ConfigDirective(World& w, const Tokens& t) {
    if (t.size() < 2) Bad("config needs KEY=VALUE");
    sKXCORE_Config_t& c = w.config;
    for (size_t i = 1; i < t.size(); ++i) {
        auto [k, v] = KeyValue(t[i]);
        if (k == "log_buffer_size")
            c.log_buffer_size = static_cast<uint64_t>(IntIn(v, 0, INT64_MAX));
        else if (k == "log_path")
            Text(c.log_path, sizeof c.log_path, v);
        else if (k == "log_level")
            c.log_level = static_cast<uint8_t>(IntIn(v, 0, 255));
        else if (k == "append_logs")
            c.append_logs = Bool(v);
        else if (k == "timestamps_enabled")
            c.timestamps_enabled = Bool(v);
        else if (k == "autoflush")
            c.autoflush = Bool(v);
        else if (k == "thread_ids_enabled")
            c.thread_ids_enabled = Bool(v);
        else if (k == "chunk_size")
            c.chunk_size = static_cast<uint64_t>(IntIn(v, 0, INT64_MAX));
        else if (k == "enable_logs")
            c.enable_logs = Bool(v);
        else if (k == "update_path")
            Text(c.update_path, sizeof c.update_path, v);
        else if (k == "adapter_index")
            c.adapter_index = static_cast<uint8_t>(IntIn(v, 0, 255));
        else
            Bad("unknown config key '" + k + "'");
    }
}

void ConnectDirective(World& w, const Tokens& t) {
    ConnectPlan p;
    for (size_t i = 1; i < t.size(); ++i) {
        auto [k, v] = KeyValue(t[i]);
        if (k == "status")
            p.status = static_cast<int>(IntIn(v, 0, 255));
        else if (k == "link_up_ms")
            p.link_up_after_ms = static_cast<int>(IntIn(v, -1, 3600000));
        else if (k == "callback_ms")
            p.callback_after_ms = static_cast<int>(IntIn(v, -1, 3600000));
        else if (k == "success")
            p.callback_success = Bool(v);
        else if (k == "drop_link_ms")
            p.drop_link_after_ms = static_cast<int>(IntIn(v, -1, 3600000));
        else
            Bad("unknown connect key '" + k + "'");
    }
    w.plan = p;
}

std::vector<int> Ints(const Tokens& t, size_t from) {
    std::vector<int> out;
    for (size_t i = from; i < t.size(); ++i) out.push_back(static_cast<int>(IntIn(t[i], -1000000, 1000000)));
    return out;
}

double Decimal(const std::string& s, double lo, double hi) {
    double v = 0;
    size_t used = 0;
    try {
        v = std::stod(s, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != s.size()) Bad("'" + s + "' is not a number");
    if (!(v >= lo && v <= hi)) {
        std::ostringstream range;
        range << s << " is outside " << lo << ".." << hi;
        Bad(range.str());
    }
    return v;
}

// The replayed file's path: the rest of the line, relative to base_dir.
void ReplayDirective(World& w, const std::string& line, const std::string& base_dir) {
    const size_t at = line.find("replay");
    std::string path = Trim(line.substr(at + 6));
    if (path.empty()) Bad("stream replay needs a file");
    if (path[0] != '/' && !base_dir.empty()) path = base_dir + "/" + path;
    std::string error;
    if (!SelectReplayFile(w, path, &error)) Bad(error);
}

void StreamDirective(World& w, const Tokens& t, const std::string& line, const std::string& base_dir) {
    if (t.size() < 2) Bad("stream needs a setting");
    const std::string& what = t[1];
    auto one = [&]() -> long long {
        if (t.size() != 3) Bad("stream " + what + " takes one number");
        return IntIn(t[2], -1, 3600000);
    };
    if (what == "types") {
        w.types_set = true;
        w.channel_types = Ints(t, 2);
    } else if (what == "null_channels") {
        w.null_channels = Ints(t, 2);
    } else if (what == "start_delay_ms") {
        w.start_delay_ms = static_cast<int>(one());
    } else if (what == "stop_delay_ms") {
        w.stop_delay_ms = static_cast<int>(one());
    } else if (what == "burst") {
        w.start_burst = static_cast<int>(std::max(0LL, one()));
    } else if (what == "clock_ppm") {
        if (t.size() != 3) Bad("stream clock_ppm takes parts per million");
        w.clock_ppm = Decimal(t[2], -kMaxClockPpm, kMaxClockPpm);
    } else if (what == "manual") {
        if (t.size() != 3) Bad("stream manual takes 0 or 1");
        w.manual = Bool(t[2]);
    } else if (what == "channel_count_after") {
        if (t.size() != 4) Bad("stream channel_count_after takes CHUNKS COUNT");
        w.count_change = true;
        w.count_change_after = static_cast<uint64_t>(IntIn(t[2], 0, INT64_MAX));
        w.count_change_to = static_cast<int>(IntIn(t[3], 0, 65535));
    } else if (what == "signal") {
        if (t.size() != 3 || (t[2] != "eeg" && t[2] != "ramp")) Bad("stream signal takes eeg or ramp");
        w.signal = t[2] == "eeg" ? SignalKind::kEeg : SignalKind::kRamp;
    } else if (what == "seed") {
        if (t.size() != 3) Bad("stream seed takes one number");
        w.eeg.seed = static_cast<uint64_t>(IntIn(t[2], 0, INT64_MAX));
    } else if (what == "line_noise") {
        if (t.size() != 3 || (t[2] != "0" && t[2] != "50" && t[2] != "60")) Bad("stream line_noise takes 0, 50 or 60");
        w.eeg.line_noise_hz = static_cast<int>(Int(t[2]));
    } else if (what == "blinks") {
        if (t.size() != 3) Bad("stream blinks takes blinks per minute");
        w.eeg.blinks_per_minute = Decimal(t[2], 0, 600);
    } else if (what == "replay") {
        ReplayDirective(w, line, base_dir);
    } else {
        Bad("unknown stream setting '" + what + "'");
    }
}

void Line(World& w, const std::string& line, const std::string& base_dir, bool* headsets_replaced) {
    Tokens t;
    std::istringstream in(line);
    for (std::string s; in >> s;) t.push_back(s);
    const std::string& d = t[0];
    bool known = false;
    OpCapabilities(d, &known);
    if (known) {
        OpDirective(w, d, t);
    } else if (d == "headsets" && t.size() == 2 && t[1] == "none") {
        w.headsets.clear();
        *headsets_replaced = true;
    } else if (d == "headsets" && t.size() == 2 && t[1] == "default") {
        w.headsets = DefaultHeadsets();
        *headsets_replaced = true;
    } else if (d == "headset") {
        HeadsetDirective(w, Trim(line.substr(line.find("headset") + 7)), headsets_replaced);
    } else if (d == "version" && t.size() == 2) {
        w.version = Version(t[1]);
    } else if (d == "config") {
        ConfigDirective(w, t);
    } else if (d == "connect") {
        ConnectDirective(w, t);
    } else if (d == "drop_link_after_ms" && t.size() == 2) {
        w.plan.drop_link_after_ms = static_cast<int>(IntIn(t[1], -1, 3600000));
    } else if (d == "rate_code" && t.size() == 2) {
        w.initial_rate_code = static_cast<int>(IntIn(t[1], 0, 255));
    } else if (d == "stream") {
        StreamDirective(w, t, line, base_dir);
    } else {
        Bad("unknown directive '" + d + "'");
    }
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool ApplyScenario(World& w, const std::string& text, const std::string& origin, const std::string& base_dir) {
    bool ok = true;
    bool headsets_replaced = false;
    std::istringstream in(text);
    int number = 0;
    for (std::string raw; std::getline(in, raw);) {
        ++number;
        const std::string line = Trim(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        try {
            Line(w, line, base_dir, &headsets_replaced);
        } catch (const std::invalid_argument& e) {
            ok = false;
            std::string what = origin + ":" + std::to_string(number) + ": " + e.what() + " in: " + line;
            std::cerr << "kxsim scenario error: " << what << std::endl;
            AddViolation(w, "scenario " + what);
        }
    }
    return ok;
}

}  // namespace detail
}  // namespace kxsim
