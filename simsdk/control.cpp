// The kxsim test-control interface.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "replay.h"
#include "world.h"

namespace kxsim {

using namespace detail;
using Lock = std::unique_lock<std::mutex>;

namespace {

void Script(const std::string& op, Outcome o) {
    World& w = TheWorld();
    Lock lk(w.mu);
    AddScript(w, op, std::move(o));
}

template <typename F>
auto OnNewest(F f, decltype(f(std::declval<Manager&>())) fallback) {
    World& w = TheWorld();
    Lock lk(w.mu);
    Manager* m = NewestLiveManager(w);
    return m ? f(*m) : fallback;
}

}  // namespace

void Reset() {
    World& w = TheWorld();
    std::vector<std::thread> threads;
    {
        Lock lk(w.mu);
        StopAllManagers(w, threads);
    }
    for (auto& t : threads)
        if (t.joinable()) t.join();
    Lock lk(w.mu);
    for (auto& m : w.managers) {
        m->freed = true;
        w.retired.push_back(std::move(m));
    }
    w.managers.clear();
    w.by_pointer.clear();
    w.next_manager_id = 1;
    w.looked_up_features.clear();
    w.feature_handles.clear();
    std::vector<std::string>().swap(w.scan_strings);
    std::vector<kx_device_list_entry>().swap(w.scan_list);
    w.calls.clear();
    w.calls_dropped = 0;
    w.call_counts.clear();
    w.violations.clear();
    ResetDescription(w);
    w.changed.notify_all();
}

void ScriptStatus(const std::string& op, int status, int times) {
    Script(op, Outcome{OutcomeKind::kStatus, status, "", times});
}

void ScriptNull(const std::string& op, int times) {
    Script(op, Outcome{OutcomeKind::kNull, 0, "", times});
}
void ScriptNullList(const std::string& op, int count, int times) {
    Script(op, Outcome{OutcomeKind::kNull, count, "", times});
}

void ScriptThrow(const std::string& op, const std::string& what, int times) {
    Script(op, Outcome{OutcomeKind::kThrow, 0, what, times});
}

void ScriptThrowUnknown(const std::string& op, int times) {
    Script(op, Outcome{OutcomeKind::kThrowUnknown, 0, "", times});
}

void ClearScripts() {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.scripts.clear();
}

std::vector<CallRecord> Calls() {
    World& w = TheWorld();
    Lock lk(w.mu);
    std::vector<CallRecord> records;
    records.reserve(w.calls.size());
    for (const auto& c : w.calls) records.push_back(CallRecord{c.op, c.args});
    return records;
}

std::vector<std::string> CallNames() {
    World& w = TheWorld();
    Lock lk(w.mu);
    std::vector<std::string> names;
    names.reserve(w.calls.size());
    for (const auto& c : w.calls) names.push_back(c.op);
    return names;
}

int CountCalls(const std::string& op) {
    World& w = TheWorld();
    Lock lk(w.mu);
    auto it = w.call_counts.find(op);
    return it == w.call_counts.end() ? 0 : it->second;
}

void ClearCalls() {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.calls.clear();
    w.calls_dropped = 0;
    w.call_counts.clear();
}

std::vector<std::string> Violations() {
    World& w = TheWorld();
    Lock lk(w.mu);
    return w.violations;
}

void ClearViolations() {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.violations.clear();
}

bool WaitForCalls(const std::string& op, int n, int timeout_ms) {
    World& w = TheWorld();
    Lock lk(w.mu);
    return w.changed.wait_for(lk, std::chrono::milliseconds(timeout_ms), [&] {
        auto it = w.call_counts.find(op);
        return it != w.call_counts.end() && it->second >= n;
    });
}

void SetHeadsets(std::vector<Headset> headsets) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.headsets = std::move(headsets);
}

void SetVersion(kx_version version) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.version = version;
}

void SetConfig(const sKXCORE_Config_t& config) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.config = config;
}

void SetConnectPlan(ConnectPlan plan) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.plan = plan;
}

void DropLink() {
    World& w = TheWorld();
    Lock lk(w.mu);
    for (auto& m : w.managers)
        if (!m->freed && !m->freeing && m->linked) DropLinkNow(*m);
}

void SetInitialRateCode(int code) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.initial_rate_code = code;
}

void SetChannelTypes(std::vector<int> codes) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.types_set = true;
    w.channel_types = std::move(codes);
}

void SetNullChannels(std::vector<int> positions) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.null_channels = std::move(positions);
}

void SetStreamingDelays(int start_ms, int stop_ms) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.start_delay_ms = start_ms;
    w.stop_delay_ms = stop_ms;
}

void SetStartBurst(int chunks) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.start_burst = std::max(0, chunks);
}

void SetClockPpm(double ppm) {
    World& w = TheWorld();
    Lock lk(w.mu);
    if (!(ppm >= -kMaxClockPpm && ppm <= kMaxClockPpm)) {
        AddViolation(w, "clock_ppm outside -100000..100000");
        throw std::invalid_argument("kxsim: clock_ppm must be within -100000..100000");
    }
    w.clock_ppm = ppm;
}

void SetManualStream(bool manual) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.manual = manual;
    NotifyStreams(w);
}

bool EmitChunks(int n, int timeout_ms) {
    if (n <= 0) return true;
    World& w = TheWorld();
    Lock lk(w.mu);
    const uint64_t target = w.manual_emitted + static_cast<uint64_t>(n);
    w.manual_pending += static_cast<uint64_t>(n);
    NotifyStreams(w);
    if (w.changed.wait_for(lk, std::chrono::milliseconds(timeout_ms), [&] { return w.manual_emitted >= target; }))
        return true;
    // Withdraw what was not emitted so it does not surface in a later stream.
    const uint64_t missing = target - w.manual_emitted;
    w.manual_pending -= std::min(missing, w.manual_pending);
    return false;
}

void SetChannelCountChangeAfter(uint64_t chunks, int new_channel_count) {
    World& w = TheWorld();
    Lock lk(w.mu);
    w.count_change = true;
    w.count_change_after = chunks;
    w.count_change_to = new_channel_count;
}

uint64_t ChunksProduced() {
    World& w = TheWorld();
    Lock lk(w.mu);
    return w.chunks_produced;
}

bool WaitForChunks(uint64_t total, int timeout_ms) {
    World& w = TheWorld();
    Lock lk(w.mu);
    return w.changed.wait_for(lk, std::chrono::milliseconds(timeout_ms), [&] { return w.chunks_produced >= total; });
}

bool WaitForLinkCallbacks(uint64_t total, int timeout_ms) {
    World& w = TheWorld();
    Lock lk(w.mu);
    return w.changed.wait_for(lk, std::chrono::milliseconds(timeout_ms),
                              [&] { return w.link_callbacks_run >= total; });
}

void SetSignal(SignalKind kind) {
    World& w = TheWorld();
    Lock lk(w.mu);
    if (kind == SignalKind::kReplay && !w.replay) {
        AddViolation(w, "SetSignal(kReplay) before a file was given to SetReplayFile");
        throw std::invalid_argument("kxsim: SetSignal(kReplay) needs SetReplayFile first");
    }
    w.signal = kind;
}

void SetEegSettings(const EegSettings& settings) {
    World& w = TheWorld();
    Lock lk(w.mu);
    if (settings.line_noise_hz != 0 && settings.line_noise_hz != 50 && settings.line_noise_hz != 60) {
        AddViolation(w, "line noise of " + std::to_string(settings.line_noise_hz) + " Hz (0, 50 or 60)");
        throw std::invalid_argument("kxsim: line noise must be 0, 50 or 60 Hz");
    }
    if (!(settings.blinks_per_minute >= 0) || settings.blinks_per_minute > 600) {
        AddViolation(w, "blinks per minute outside 0..600");
        throw std::invalid_argument("kxsim: blinks per minute must be within 0..600");
    }
    w.eeg = settings;
}

EegSettings CurrentEegSettings() {
    World& w = TheWorld();
    Lock lk(w.mu);
    return w.eeg;
}

bool SetReplayFile(const std::string& path) {
    World& w = TheWorld();
    Lock lk(w.mu);
    std::string error;
    if (SelectReplayFile(w, path, &error)) return true;
    AddViolation(w, "replay: " + error);
    return false;
}

ReplayInfo CurrentReplay() {
    World& w = TheWorld();
    Lock lk(w.mu);
    return w.replay ? w.replay->Info() : ReplayInfo{};
}

namespace detail {

bool SelectReplayFile(World& world, const std::string& path, std::string* error) {
    std::shared_ptr<ReplayFile> file = ReplayFile::Open(path, error);
    if (!file) return false;
    world.replay = std::move(file);
    world.signal = SignalKind::kReplay;
    return true;
}

}  // namespace detail

float RampSample(int channel_position, uint64_t sample_index) {
    return static_cast<float>((channel_position + 1) * 100.0 + static_cast<double>(sample_index % 1024) * 0.25 - 128.0);
}

double RampValue(int type_code, int channel_position, uint64_t sample_index) {
    switch (type_code) {
        case KX_DATA_TYPE_UINT8:
            return static_cast<double>((sample_index + 7u * static_cast<uint64_t>(channel_position)) % 256u);
        case KX_DATA_TYPE_UINT64:
            return static_cast<double>(sample_index * 1000u + static_cast<uint64_t>(channel_position));
        default: return RampSample(channel_position, sample_index);
    }
}

int LiveManagers() {
    World& w = TheWorld();
    Lock lk(w.mu);
    return static_cast<int>(std::count_if(w.managers.begin(), w.managers.end(),
                                          [](const std::unique_ptr<Manager>& m) { return !m->freed && !m->freeing; }));
}

bool ChannelEnabled(int ch) {
    return OnNewest([ch](Manager& m) { return ch >= 0 && static_cast<size_t>(ch) < m.enabled.size() && m.enabled[ch]; },
                    false);
}

int ChannelGain(int ch) {
    return OnNewest([ch](Manager& m) { return (ch >= 0 && static_cast<size_t>(ch) < m.gain.size()) ? m.gain[ch] : -1; },
                    -1);
}

int ChannelBias(int ch) {
    return OnNewest([ch](Manager& m) { return (ch >= 0 && static_cast<size_t>(ch) < m.bias.size()) ? m.bias[ch] : -1; },
                    -1);
}

int RateCode() {
    return OnNewest([](Manager& m) { return m.rate_code; }, -1);
}

bool Connected() {
    return OnNewest([](Manager& m) { return m.linked; }, false);
}

bool Streaming() {
    return OnNewest([](Manager& m) { return m.streaming; }, false);
}

uint64_t SampleIndex() {
    return OnNewest([](Manager& m) { return m.sample_index; }, uint64_t{0});
}

void AddRawAnnotation(uint64_t timestamp, const char* text_or_null) {
    World& w = TheWorld();
    Lock lk(w.mu);
    Manager* m = NewestLiveManager(w);
    if (!m) {
        AddViolation(w, "AddRawAnnotation with no live manager");
        return;
    }
    m->annotations.push_back({timestamp, text_or_null == nullptr, text_or_null ? text_or_null : ""});
}

bool LoadScenarioText(const std::string& text) {
    World& w = TheWorld();
    Lock lk(w.mu);
    return ApplyScenario(w, text, "scenario", "");
}

bool LoadScenarioFile(const std::string& path) {
    std::ifstream in(path);
    World& w = TheWorld();
    if (!in) {
        Lock lk(w.mu);
        AddViolation(w, "cannot read scenario file " + path);
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    Lock lk(w.mu);
    return ApplyScenario(w, text.str(), path, DirectoryOf(path));
}

}  // namespace kxsim
