// The simulator's process-wide state. Internal to simsdk/: the kx_*
// operations (core, connection, stream, settings, annotations), the test
// control (control.cpp) and the scenario reader (scenario.cpp) all work on
// the one World under its mutex.
#ifndef KX_SIMSDK_WORLD_H
#define KX_SIMSDK_WORLD_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "kxcore.h"
#include "kxsim.h"

namespace kxsim {
namespace detail {

using Clock = std::chrono::steady_clock;

enum class OutcomeKind { kStatus, kNull, kThrow, kThrowUnknown };

struct Outcome {
    OutcomeKind kind = OutcomeKind::kStatus;
    int status = 0;
    std::string what;
    int times = 1;  // -1: never used up
};

// What a scripted outcome may be for an operation (throwing always is).
enum OpCaps : unsigned { kCapStatus = 1u, kCapNull = 2u };

struct Features {
    uint8_t electrodes = 0;
    bool accel = false;
    bool gyro = false;
    bool bipolar = false;
};

struct Annotation {
    uint64_t timestamp = 0;
    bool null_text = false;
    std::string text;
};

class ReplayFile;

struct Manager {
    uint64_t id = 0;
    bool freed = false;
    bool freeing = false;  // threads being joined by kx_eeg_manager_free
    std::atomic<bool> stop{false};

    // Link. link_gen changes on every connect/disconnect/drop so that timed
    // link events scheduled for an earlier link are recognised as stale.
    bool has_headset = false;
    Headset headset;
    kx_device_info info{};
    Features features;
    bool linked = false;
    uint64_t link_gen = 0;
    int drop_after_ms = -1;
    kx_disconnect_callback disconnect_cb = nullptr;
    void* disconnect_user = nullptr;

    // Settings of the connected headset, indexed by electrode.
    std::vector<bool> enabled;
    std::vector<int> gain;
    std::vector<int> bias;
    int rate_code = KX_RATE_250;
    int fixed_rate_code = -1;  // a replayed file's rate code, the only one accepted; -1: any

    // Stream. stream_requested: between start_stream and stop_stream;
    // streaming: what is_streaming reports; emitting: chunks are produced.
    bool stream_requested = false;
    bool streaming = false;
    bool emitting = false;
    uint64_t stream_gen = 0;
    uint64_t sample_index = 0;
    uint64_t chunks_in_stream = 0;
    size_t last_channel_count = 0;
    int burst_pending = 0;
    Clock::time_point next_due{};
    Clock::duration period{};  // between chunks on the system clock, from the stream's rate and clock_ppm
    // The signal of the current stream, taken from the world at its start.
    SignalKind signal = SignalKind::kEeg;
    std::unique_ptr<EegGenerator> eeg;
    std::shared_ptr<ReplayFile> replay;
    kx_chunk_callback chunk_cb = nullptr;
    void* chunk_user = nullptr;
    bool delivering = false;
    uint64_t delivery_seq = 0;
    std::condition_variable delivered_cv;
    std::condition_variable stream_cv;

    // Timed link and stream-state events, run by the link thread.
    enum class EventKind { kLinkUp, kConnectCallback, kDrop, kNotifyDisconnect, kStreamUp, kStreamDown };
    struct Event {
        Clock::time_point at;
        EventKind kind;
        uint64_t gen = 0;
        bool success = false;
        kx_connect_callback cb = nullptr;
        void* user = nullptr;
    };
    std::vector<Event> events;
    std::condition_variable link_cv;

    // Annotations; ann_out is the array last handed out.
    std::deque<Annotation> annotations;  // deque: texts keep their address
    std::vector<kx_annotation> ann_out;

    // Data-type arrays handed out; kept until Reset so a pointer read by a
    // callback thread never dangles when another thread asks again.
    std::deque<std::vector<uint8_t>> type_arrays;

    std::thread link_thread;
    std::thread stream_thread;
};

struct World {
    World();

    std::mutex mu;
    std::condition_variable changed;  // calls logged, chunks delivered/emitted

    // Scripting and log.
    // Both maps compare with std::less<> so that a call finds its operation by
    // name without building a string.
    std::map<std::string, std::deque<Outcome>, std::less<>> scripts;
    // The call log. An operation's name is one of the simulator's string
    // literals, kept as a pointer so that logging a call on the data path
    // copies only its arguments; Calls() makes the records callers see.
    struct LoggedCall {
        const char* op;
        std::string args;
    };
    std::vector<LoggedCall> calls;
    uint64_t calls_dropped = 0;
    std::map<std::string, int, std::less<>> call_counts;
    std::vector<std::string> violations;
    std::FILE* log_file = nullptr;

    // World description.
    std::vector<Headset> headsets;
    kx_version version{3, 6, 0};
    sKXCORE_Config_t config{};
    ConnectPlan plan;
    int initial_rate_code = KX_RATE_250;
    bool initialised = false;

    // Scan storage: valid until the next scan or close.
    std::vector<std::string> scan_strings;
    std::vector<kx_device_list_entry> scan_list;

    // Stream behaviour.
    bool types_set = false;
    std::vector<int> channel_types;
    std::vector<int> null_channels;
    int start_delay_ms = 0;
    int stop_delay_ms = 0;
    int start_burst = 0;
    double clock_ppm = 0;  // the headset's sample clock against the system clock, taken at stream start
    bool manual = false;
    uint64_t manual_pending = 0;
    uint64_t manual_emitted = 0;
    bool count_change = false;
    uint64_t count_change_after = 0;
    int count_change_to = 0;
    uint64_t chunks_produced = 0;
    uint64_t link_callbacks_run = 0;  // connect and disconnect callbacks returned

    // Stream signal.
    SignalKind signal = SignalKind::kEeg;
    EegSettings eeg;
    std::shared_ptr<ReplayFile> replay;  // the file last given, kept while a stream uses it

    // Managers, live and freed (kept until Reset so that a stale pointer is
    // recognised instead of being reused by the allocator).
    std::vector<std::unique_ptr<Manager>> managers;
    std::vector<std::unique_ptr<Manager>> retired;  // of earlier worlds, never destroyed
    std::unordered_map<const void*, Manager*> by_pointer;
    uint64_t next_manager_id = 1;
    std::deque<Features> looked_up_features;
    std::unordered_set<const void*> feature_handles;
};

// The world, created (and KXSIM_SCENARIO read) at first use. Never destroyed:
// simulator threads left running at process exit must not outlive it.
World& TheWorld();

// ---- everything below: the caller holds TheWorld().mu ----

// world.cpp
void AddViolation(World& world, std::string what);
void ResetDescription(World& world);  // world description to defaults

// scripts.cpp: the call log and scripted outcomes.
// Logs the call and takes the next scripted outcome for it, if any.
// `op` is a string literal: the call log keeps the pointer.
std::optional<Outcome> Enter(World& world, const char* op, std::string args);
// Throws for a throwing outcome; otherwise returns.
void ThrowIfScripted(const Outcome& outcome);
unsigned OpCapabilities(const std::string& op, bool* known);
// Throws std::invalid_argument (recording a violation when record is set).
void AddScript(World& world, const std::string& op, Outcome outcome, bool record = true);

// core.cpp
Features FeaturesOf(const Headset& headset);
// The headset as a connection sees it: a replayed file sets its electrode count.
Headset EffectiveHeadset(const World& world, const Headset& headset);

// scenario.cpp. Relative replay paths are taken from base_dir.
bool ApplyScenario(World& world, const std::string& text, const std::string& origin, const std::string& base_dir);
std::string DirectoryOf(const std::string& path);

// connection.cpp: manager lifecycle and links.
std::string RenderManager(World& world, const void* handle);
Manager* FindManager(World& world, const void* handle);
// Marks every live manager freed, stops it and moves its threads into out.
void StopAllManagers(World& world, std::vector<std::thread>& out);
Manager* NewestLiveManager(World& world);
void DropLinkNow(Manager& m);
// Marks the link up now and schedules its planned drop.
void LinkUp(Manager& m);
void PushEvent(Manager& m, Manager::Event event);
Clock::time_point After(int ms);

// stream.cpp: streams and the per-manager stream thread.
uint32_t RateHz(int code);  // unknown codes: 250
void StreamThread(World* world, Manager* m);
void StreamUp(World& world, Manager& m);
void EndStreamState(Manager& m);
void NotifyStreams(World& world);
size_t EnabledCount(const Manager& m);

// control.cpp: opens, checks and selects the file to replay; false with the
// reason in *error (the world unchanged).
bool SelectReplayFile(World& world, const std::string& path, std::string* error);

}  // namespace detail
}  // namespace kxsim

#endif  // KX_SIMSDK_WORLD_H
