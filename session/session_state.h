// The one process-wide session record, its queries and its teardowns.
#ifndef KX_SESSION_SESSION_STATE_H
#define KX_SESSION_SESSION_STATE_H

#include "interfaces/kxcore.h"
#include "stream/chunk_types.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kx {

struct ConnectWaitState;

struct MockAnnotation {
    std::string message;
    std::uint64_t sample_index = 0;
};

// Written on MATLAB's thread unless noted. The SDK's data callback reads
// `manager` and `stream_sample_rate_hz` on its own thread, hence the atomics.
// The chunk buffer's members (max_buffer_chunks, dropped_chunks, mutex,
// chunk_available, chunk_buffer and the pool's spare_samples) come from
// ChunkBufferState and are guarded by `mutex`; `mock_mutex` guards the mock
// members that the mock stream thread reads. The two are never held together.
struct SessionState : ChunkBufferState {
    SessionState();
    ~SessionState();
    SessionState(const SessionState&) = delete;
    SessionState& operator=(const SessionState&) = delete;

    bool core_initialized = false;
    bool mex_locked = false;
    // A teardown could not free a manager, or could not close its link: the
    // SDK may still call back into this file and this record, so the file
    // stays locked for good, is never unmapped, and this record is never
    // destroyed. Set through ExpectLateCallbacks only.
    bool sdk_may_call_back = false;
    bool stream_incompatible = false;
    std::atomic<kx_eeg_manager*> manager{nullptr};
    std::atomic<std::int32_t> stream_sample_rate_hz{0};
    // The record the current manager's connect callback writes to. The SDK
    // may call back after connect has answered, so the record lives until
    // the manager is freed.
    std::shared_ptr<ConnectWaitState> connect_wait;
    // The records of managers that could not be freed, which may call back
    // at any time; they live as long as this session.
    std::vector<std::shared_ptr<ConnectWaitState>> unfreed_connect_waits;

    bool mock_mode;
    bool mock_core_initialized = false;
    bool mock_connected = false;
    bool mock_streaming = false;
    std::string mock_device_name;
    std::int32_t mock_sample_rate_hz = 250;
    std::uint64_t mock_chunk_samples = 25;
    std::uint64_t mock_sample_index = 0;
    std::map<int, bool> mock_channel_enabled;
    std::map<int, int> mock_channel_gains;
    std::map<int, int> mock_channel_biases;
    std::vector<MockAnnotation> mock_annotations;
    std::mutex mock_mutex;
    // Ends the mock thread's wait between chunks as soon as a stop is asked
    // for, so a stop never waits out a long chunk period.
    std::condition_variable mock_wake;
    std::thread mock_thread;
    std::atomic<bool> mock_stop_requested{false};
};

// Whether this build starts with the mock backend selected. Each MEX variant
// links exactly one definition.
bool DefaultMockMode();

// The session of this load of the file, created at first use on MATLAB's
// thread; callbacks reach theirs through their `user` pointer.
SessionState* Session();

// Ends the session for the exit handler: the next Session() is a fresh one,
// as after a real unload. A session with sdk_may_call_back is kept, never
// destroyed, for the callbacks still to come.
void EndSession() noexcept;

bool IsConnected();
bool IsStreaming();
kx_eeg_manager* RequireManager();
kx_eeg_manager* RequireConnectedManager();

// Detaches the callbacks, stops, disconnects and frees the manager, then
// empties the chunk buffer; returns how many chunks it discarded. A free or a
// disconnect that throws calls ExpectLateCallbacks.
std::uint64_t DestroyManagerIfNeeded();

// The SDK keeps callbacks into this file and pointers into `session` for
// good: sets sdk_may_call_back and marks the file never to be unloaded, since
// a host that clears it runs the exit handler and unloads it whatever locks
// the handler takes.
void ExpectLateCallbacks(SessionState& session) noexcept;

// Asks the mock stream thread to end, wakes it, joins it and clears
// mock_streaming. mock_stop_requested stays set.
void StopMockStreamThread(SessionState& session);

// The mock counterpart of DestroyManagerIfNeeded: stops the mock stream,
// drops the mock headset's link, then empties the chunk buffer; returns how
// many chunks it discarded.
std::uint64_t DisconnectMockHeadset(SessionState& session);
void ResetMockSessionState(bool keep_mock_mode);

// Registered on every manager; a dropped link is noticed through IsConnected.
void NoopDisconnectCallback(void* user);

}  // namespace kx

#endif  // KX_SESSION_SESSION_STATE_H
