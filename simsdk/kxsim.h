/*
 * Test control of the simulated device SDK (libkxcore.so.3 built from
 * simsdk/). Tests link the same library and use this header to script the
 * world the kx_* operations see; the gateway never includes it.
 *
 * One process-wide world. Everything here is thread-safe.
 *
 * Operation names used below are the C function names of interfaces/kxcore.h
 * ("kx_core_init", "kx_eeg_manager_connect", ...). Naming an operation that
 * does not exist, or scripting an outcome an operation cannot have, records
 * a violation and throws std::invalid_argument.
 *
 * ---------------------------------------------------------------------------
 * The default world (after Reset, nothing scripted)
 *   version 3.6.0
 *   config  log_buffer_size 4096, log_path "kxcore.log", log_level 2,
 *           append_logs 0, timestamps_enabled 1, autoflush 1,
 *           thread_ids_enabled 0, chunk_size 32, enable_logs 0,
 *           update_path "firmware", adapter_index 0
 *   kx_core_init: 0, then 7 until kx_core_close.
 *   kx_core_scan: the headsets of DefaultHeadsets():
 *     "SIM SOLA 101" / "00:1A:7D:00:01:01", model 5, 8 electrodes,
 *        25 samples per packet, no accel/gyro, not bipolar, battery 87 %
 *     "SIM ZEM 202"  / "00:1A:7D:00:02:02", model 3, 16 electrodes,
 *        32 samples per packet, accel+gyro, not bipolar, battery 54 % charging
 *     An empty headset list makes the scan return 11 (no devices found).
 *     The list and its strings live until the next scan or kx_core_close.
 *   Connect: a name not among the headsets returns 1 with no callback.
 *     Otherwise the ConnectPlan applies (default: returns 0, link up after
 *     300 ms, ConnectCallback(true) after 300 ms on a simulator thread).
 *     A plan status other than 0 or 2 means the connect failed at once: no
 *     link, no callback. At connect every electrode is enabled, gain X1 (0),
 *     bias 0, rate code as SetInitialRateCode (default 6 = 250 Hz); a
 *     replayed file sets the electrode count and the rate code instead.
 *     get_device_info / get_battery_info answer for the connected headset
 *     (null / all-zero when not connected).
 *   Features: kx_core_device_features_get(info) takes a pointer handed out
 *     by get_device_info (any other pointer: looked up by device_model among
 *     the headsets; no match gives null).
 *   Channels are 0-based electrode indices; an index >= electrode count is
 *     recorded as a violation. Gain and bias values are stored as given.
 *   kx_multiplier_to_gain_mode: 1,2,4,6,8,12 -> 0..5; any other input 255.
 *   set_data_stream_rate: codes 0..6 accepted (3 = wrong value otherwise,
 *     and for any code but the file's while replaying; 1 when not
 *     connected); the pace changes from the next chunk, the signal's rate
 *     at the next stream start.
 *   Streaming: start_stream needs a link (1 otherwise). After the start
 *     delay (default 0) is_streaming turns true and a simulator thread emits
 *     one chunk of sample_per_packet samples per packet period at the rate
 *     code's frequency (an unknown code streams at 250 Hz). One channel array
 *     per enabled electrode, in ascending electrode order; position p of a
 *     chunk is the p-th enabled electrode. Element values: see the Signal
 *     section (default: the EEG-like signal). stop_stream ends delivery at once and
 *     is_streaming turns false after the stop delay (default 0).
 *     Chunks produced while no callback is attached are dropped, but still
 *     advance the sample index.
 *   Annotations: accepted whether or not a stream runs; timestamp = the
 *     running sample index of the current (or last) stream of that manager,
 *     i.e. the samples emitted since its start; 0 when none has run. Returned
 *     in insertion order; the array lives until the next get_annotations or
 *     clear_annotations.
 *   Link loss (DropLink or a plan's drop time): is_connected turns false,
 *     the stream stops, then the disconnect callback runs on a simulator
 *     thread. kx_eeg_manager_disconnect does not call it.
 *   Detaching (set_callback_chunk, any argument) waits for a chunk callback
 *     in flight; no delivery starts after it returns.
 *   kx_eeg_manager_free stops the manager's threads and joins them, so no
 *     callback of that manager runs after it returns.
 *
 * Violations (recorded, never a crash): null/unknown manager pointer, any
 * operation on a freed manager, a second free, free / stop_stream /
 * set_callback_chunk from inside that manager's chunk callback, free from
 * inside its connect or disconnect callback, an unknown features handle, an
 * out-of-range channel, an unknown scenario directive, a detach that waited
 * more than 10 s for a callback in flight, a replay file that cannot be used
 * or read.
 *
 * ---------------------------------------------------------------------------
 * Scenario file (for tests that cannot call C++): when KXSIM_SCENARIO names
 * a file, it is read at the first use of the library (any kx_* call or
 * kxsim call). One directive per line; '#' starts a comment; blank lines
 * are skipped. An unknown or malformed directive is printed to stderr and
 * recorded as a violation.
 *
 *   OP status N [times T]          ScriptStatus(OP, N, T)
 *   OP null [times T]              ScriptNull(OP, T)
 *   OP null-list N [times T]       ScriptNullList(OP, N, T)
 *   OP throw TEXT... [times T]     ScriptThrow(OP, "TEXT...", T)
 *   OP throw-unknown [times T]     ScriptThrowUnknown(OP, T)
 *   headsets none                  SetHeadsets({})
 *   headsets default               SetHeadsets(DefaultHeadsets())
 *   headset NAME|MAC|model|electrodes|spp|accel|gyro|bipolar[|serial|battery|charging|hardware|firmware]
 *                                  the first headset line replaces the list,
 *                                  later ones append; NAME or MAC "(null)"
 *                                  gives a null pointer in the scan list;
 *                                  booleans 0|1, versions MAJOR.MINOR.PATCH;
 *                                  charging 1 also sets the charger connected
 *   version MAJOR.MINOR.PATCH      SetVersion
 *   config KEY=VALUE...            change fields of the config (keys are
 *                                  the sKXCORE_Config_t field names)
 *   connect status=N link_up_ms=N callback_ms=N success=0|1 drop_link_ms=N
 *                                  SetConnectPlan (omitted keys: defaults)
 *   drop_link_after_ms N           the plan's drop_link_after_ms
 *   rate_code N                    SetInitialRateCode(N)
 *   stream types C...              SetChannelTypes
 *   stream null_channels P...      SetNullChannels
 *   stream start_delay_ms N        SetStreamingDelays(N, current stop)
 *   stream stop_delay_ms N         SetStreamingDelays(current start, N)
 *   stream burst N                 SetStartBurst(N)
 *   stream clock_ppm P             SetClockPpm(P) (decimals allowed)
 *   stream manual 0|1              SetManualStream
 *   stream channel_count_after CHUNKS COUNT   SetChannelCountChangeAfter
 *   stream signal eeg|ramp         SetSignal(kEeg / kRamp)
 *   stream seed N                  the EegSettings seed
 *   stream line_noise 0|50|60      the EegSettings line noise
 *   stream blinks PER_MINUTE       the EegSettings blink rate (decimals allowed)
 *   stream replay PATH             SetReplayFile; the rest of the line is the
 *                                  path, relative to the scenario file's folder
 *                                  (LoadScenarioText: to the working folder)
 *
 * KXSIM_LOG: when it names a file, each operation's name is appended to it,
 * one per line, as the operation is called (same names as Calls()).
 */
#ifndef KX_SIMSDK_KXSIM_H
#define KX_SIMSDK_KXSIM_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kxcore.h"

#define KXSIM_API __attribute__((visibility("default")))

namespace kxsim {

// Default world, nothing scripted, log and violations empty, every manager
// freed and every simulator thread joined. Does not re-read KXSIM_SCENARIO.
KXSIM_API void Reset();

// Per-operation scripted outcomes, consumed one per call in the order
// scripted; times = -1 means every call from then on. A scripted outcome
// replaces the operation: the call is logged, the world is not touched.
//   ScriptStatus: the returned status / code / byte; for bool results
//     nonzero is true; for kx_core_scan the status (list empty); for
//     get_battery_info the battery level.
//   ScriptNull: a null pointer result (get_version, manager_new,
//     get_device_info, device_features_get), or for kx_core_scan /
//     get_stream_channel_data_types / get_annotations a null list with
//     count 0 (scan returns 0).
//   ScriptThrow: throws std::runtime_error(what); ScriptThrowUnknown: throws
//     an int. Any operation can throw.
KXSIM_API void ScriptStatus(const std::string& op, int status, int times = 1);
KXSIM_API void ScriptNull(const std::string& op, int times = 1);
// kx_core_scan and get_annotations only: a null list that comes with a
// non-zero count, as a faulty SDK might hand out.
KXSIM_API void ScriptNullList(const std::string& op, int count, int times = 1);
KXSIM_API void ScriptThrow(const std::string& op, const std::string& what, int times = 1);
KXSIM_API void ScriptThrowUnknown(const std::string& op, int times = 1);
KXSIM_API void ClearScripts();

// Every operation called, in order. Managers render as m1, m2... (creation
// order since Reset), strings quoted, callbacks as cb/null. The detailed log
// keeps the first 1,000,000 calls; CountCalls stays exact beyond that.
struct CallRecord {
    std::string op;
    std::string args;
};
KXSIM_API std::vector<CallRecord> Calls();
KXSIM_API std::vector<std::string> CallNames();
KXSIM_API int CountCalls(const std::string& op);
KXSIM_API void ClearCalls();
KXSIM_API std::vector<std::string> Violations();
KXSIM_API void ClearViolations();

// Waits until CountCalls(op) >= n (false at the deadline).
KXSIM_API bool WaitForCalls(const std::string& op, int n, int timeout_ms = 5000);

// ---- World --------------------------------------------------------------
struct Headset {
    std::string name, mac;
    bool null_name = false, null_mac = false;
    uint8_t model = KX_MODEL_SOLA;
    kx_version hardware{1, 0, 0};
    kx_version firmware{1, 0, 0};
    uint64_t serial = 0;
    uint64_t sample_per_packet = 25;
    uint8_t electrodes = 8;
    bool accel = false, gyro = false, bipolar = false;
    kx_battery_info battery{100, false, false};
};
KXSIM_API std::vector<Headset> DefaultHeadsets();
KXSIM_API void SetHeadsets(std::vector<Headset> headsets);  // empty: scan returns 11
KXSIM_API void SetVersion(kx_version version);
KXSIM_API void SetConfig(const sKXCORE_Config_t& config);
KXSIM_API sKXCORE_Config_t DefaultConfig();

// Connect outcome for every following connect (until changed or Reset).
struct ConnectPlan {
    int status = 0;               // returned by kx_eeg_manager_connect
    int link_up_after_ms = 300;   // 0: up when connect returns; -1: never up
    int callback_after_ms = 300;  // -1: no callback
    bool callback_success = true;
    int drop_link_after_ms = -1;  // after link up; -1: never dropped
};
// Examples: failure after 2 s {0, -1, 2000, false}; success but never
// linked {0, -1, 100, true}; status 2 linked {2, 100, 100, true}; late
// callback {0, 50, 1500, true}.
KXSIM_API void SetConnectPlan(ConnectPlan plan);
// Waits until `total` connect and disconnect callbacks have returned since
// Reset (false at the deadline).
KXSIM_API bool WaitForLinkCallbacks(uint64_t total, int timeout_ms = 5000);
KXSIM_API void DropLink();                    // every connected manager loses its link now
KXSIM_API void SetInitialRateCode(int code);  // rate code a manager has at connect

// ---- Streaming ----------------------------------------------------------
// Element type code per streamed channel position (positions past the end
// stream float32). get_stream_channel_data_types reports exactly this list
// (so a length differing from the channel count can be scripted); unset, it
// reports 0 for each streamed channel.
KXSIM_API void SetChannelTypes(std::vector<int> codes);
KXSIM_API void SetNullChannels(std::vector<int> positions);    // null data pointers
KXSIM_API void SetStreamingDelays(int start_ms, int stop_ms);  // -1: never reaches the state
KXSIM_API void SetStartBurst(int chunks);                      // chunks delivered at once when a stream comes up
// The headset's sample clock runs ppm parts per million fast (negative: slow)
// against the system clock: chunks come that much more (less) often than the
// nominal rate says. Taken when a stream starts; outside +-kMaxClockPpm throws.
constexpr double kMaxClockPpm = 100000;
KXSIM_API void SetClockPpm(double ppm);
// Manual: no timed chunks; EmitChunks delivers n chunks on the simulator
// stream thread as fast as possible and returns once they are emitted
// (false at the deadline, e.g. when nothing streams).
KXSIM_API void SetManualStream(bool manual);
KXSIM_API bool EmitChunks(int n, int timeout_ms = 5000);
// From the given chunk of a stream on, chunks carry new_channel_count arrays.
KXSIM_API void SetChannelCountChangeAfter(uint64_t chunks, int new_channel_count);
KXSIM_API uint64_t ChunksProduced();                                  // delivered to a callback, since Reset
KXSIM_API bool WaitForChunks(uint64_t total, int timeout_ms = 5000);  // ChunksProduced() >= total

// ---- Signal ----------------------------------------------------------------
// What float32 and float64 channels carry (float64 channels carry the same
// float32 values, widened). uint8 and uint64 channels carry the counters of
// RampValue whatever the signal. The signal, its settings and the replayed
// file are taken when a stream starts; changes apply from the next start.
enum class SignalKind {
    kEeg,     // EegGenerator, the default
    kRamp,    // RampSample: a counter per channel, for tests that read indices back
    kReplay,  // the file of SetReplayFile
};
KXSIM_API void SetSignal(SignalKind kind);  // kReplay only once a file was given

// Settings of the EEG-like signal.
struct EegSettings {
    uint64_t seed = 1;
    int line_noise_hz = 0;         // 0 (none), 50 or 60
    double blinks_per_minute = 0;  // 0: none
};
KXSIM_API void SetEegSettings(const EegSettings& settings);  // line noise other than 0/50/60 throws
KXSIM_API EegSettings CurrentEegSettings();

// The EEG-like signal of one headset, frame by frame. A value depends only on
// the settings, the headset's name and electrode count, the electrode, the
// sample index and the rate (which places the rhythms at their frequencies in
// hertz); never on chunk sizes or timing. A stream of that headset delivers
// exactly these floats: position p of a chunk is the p-th enabled electrode.
//   Every electrode: 1/f background (its own plus activity shared with its
//     neighbours and with the whole head), and an alpha rhythm near 10 Hz
//     that waxes and wanes, strongest on the last (posterior) electrodes.
//   Line noise: a sine at the mains frequency on every electrode.
//   Blinks: at random times at the given mean rate, ~0.4 s bumps of about
//     100 uV on the first pair of electrodes, weaker on the next two pairs.
class KXSIM_API EegGenerator {
public:
    EegGenerator(const EegSettings& settings, const std::string& headset_name, int electrodes, double rate_hz);
    ~EegGenerator();
    EegGenerator(EegGenerator&&) noexcept;
    EegGenerator& operator=(EegGenerator&&) noexcept;
    EegGenerator(const EegGenerator&) = delete;
    EegGenerator& operator=(const EegGenerator&) = delete;

    int Electrodes() const;
    uint64_t Index() const;  // sample index of the next frame, 0 at construction
    // Writes the frame at Index(), one value per electrode in microvolts, and advances.
    void Next(float* frame);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Replay: the headset streams a recording (EDF, EDF+, BDF or BDF+) read by
// the toolbox's own reader (matlab/mex/edf_reader), channel for channel,
// looping at its end, in microvolts (uV, mV, V and nV are converted; other
// units stream unscaled). At connect the headset takes the file's channel
// count as its electrode count and the rate code of the file's rate; rate
// changes to another code are refused with
// KX_ERROR_WRONG_VALUE. Signals whose rate differs from the first signal's
// are left out. A file rate missing from the rate table streams at the
// nearest rate of the table, sample for sample, so its time and frequencies
// scale by table rate / file rate. Returns false (and records a violation)
// when the file cannot be used; the previous signal then stays.
KXSIM_API bool SetReplayFile(const std::string& path);
struct ReplayInfo {
    std::string path;                 // empty: no file given
    std::vector<std::string> labels;  // the signals streamed, in order
    double file_rate_hz = 0;
    int rate_code = -1;    // the table rate it streams at
    uint64_t samples = 0;  // per channel, before the loop restarts
};
KXSIM_API ReplayInfo CurrentReplay();

// Values of SignalKind::kRamp at sample sample_index (0 at stream start) at
// channel position p: (p + 1) * 100 + (sample_index % 1024) * 0.25 - 128,
// exact in float.
KXSIM_API float RampSample(int channel_position, uint64_t sample_index);
// Element value for a channel of the given type code under kRamp, as a double
// (exact): 0 float32 and 3 float64: RampSample; 1 uint8: (sample_index + 7 p)
// % 256; 2 uint64: sample_index * 1000 + p (these two in every signal).
// Unknown codes stream float32 values.
KXSIM_API double RampValue(int type_code, int channel_position, uint64_t sample_index);

// ---- Read-back of the current manager (the newest live one) -------------
KXSIM_API int LiveManagers();
KXSIM_API bool ChannelEnabled(int ch);
KXSIM_API int ChannelGain(int ch);
KXSIM_API int ChannelBias(int ch);
KXSIM_API int RateCode();
KXSIM_API bool Connected();
KXSIM_API bool Streaming();
KXSIM_API uint64_t SampleIndex();  // running sample index of its current/last stream
KXSIM_API void AddRawAnnotation(uint64_t timestamp, const char* text_or_null);

// Scenario text in the KXSIM_SCENARIO grammar (applied on top of the world);
// returns false when any line was rejected (each rejection is a violation).
KXSIM_API bool LoadScenarioText(const std::string& text);
KXSIM_API bool LoadScenarioFile(const std::string& path);

}  // namespace kxsim

#endif  // KX_SIMSDK_KXSIM_H
