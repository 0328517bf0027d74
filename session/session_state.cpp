#include "session/session_state.h"

#include "gateway/commands.h"
#include "gateway/failure.h"
#include "gateway/values.h"
#include "stream/chunk_buffer.h"

#include <dlfcn.h>

namespace kx {
namespace {

constexpr const char* kBackend = "kestrix-matlab-api";
constexpr const char* kMode = "persistent";

// Every teardown step runs whatever the step before it did. Returns whether
// the step completed.
template <typename Step>
bool Swallowing(Step&& step) noexcept {
    try {
        step();
        return true;
    } catch (...) {
        return false;
    }
}

void CloseCoreAndUnlock(SessionState& session) {
    if (session.core_initialized) {
        Swallowing([] { kx_core_close(); });
        session.core_initialized = false;
    }
    if (session.mex_locked) {
        while (mexIsLocked()) {
            mexUnlock();
        }
        session.mex_locked = false;
    }
    // Unloading the file now would leave the SDK calling into unmapped code.
    if (session.sdk_may_call_back) {
        mexLock();
        session.mex_locked = true;
    }
}

}  // namespace

SessionState::SessionState() : mock_mode(DefaultMockMode()) {}

SessionState::~SessionState() {
    // Unloaded without the exit handler: the mock thread must not outlive
    // the record it reads.
    if (mock_thread.joinable()) {
        StopMockStreamThread(*this);
    }
}

namespace {

// Sessions the SDK may still call into. Never destroyed; listed here only so
// that they stay reachable from this file's data, which is never unmapped
// once such a session exists.
std::vector<SessionState*>* g_kept_sessions = nullptr;

// Owns the session of this load of the file. Destroyed when the file is
// unloaded or the process ends, which keeps the session it still holds in
// the same way as EndSession.
class SessionSlot {
public:
    SessionSlot() = default;
    SessionSlot(const SessionSlot&) = delete;
    SessionSlot& operator=(const SessionSlot&) = delete;
    ~SessionSlot() { End(); }

    SessionState* Get() {
        if (current_ == nullptr) {
            current_ = std::make_unique<SessionState>();
        }
        return current_.get();
    }

    void End() noexcept {
        if (current_ != nullptr && current_->sdk_may_call_back) {
            SessionState* kept = current_.release();
            try {
                if (g_kept_sessions == nullptr) {
                    g_kept_sessions = new std::vector<SessionState*>();
                }
                g_kept_sessions->push_back(kept);
            } catch (...) {
                // Kept all the same, only unlisted.
            }
        }
        current_.reset();
    }

private:
    std::unique_ptr<SessionState> current_;
};

SessionSlot& Slot() {
    static SessionSlot slot;
    return slot;
}

// Marks the file that holds this code never to be unloaded: a later dlclose
// by the host leaves it mapped, and so are its data and the SDK's callbacks.
void PinThisFile() noexcept {
    static const char anchor = 0;
    Dl_info info;
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) {
        return;
    }
    if (void* self = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE)) {
        dlclose(self);
    }
}

}  // namespace

SessionState* Session() {
    return Slot().Get();
}

void EndSession() noexcept {
    Slot().End();
}

void ExpectLateCallbacks(SessionState& session) noexcept {
    if (!session.sdk_may_call_back) {
        session.sdk_may_call_back = true;
        PinThisFile();
    }
}

void NoopDisconnectCallback(void* /*user*/) {}

namespace {

// The link or stream state of the session: the mock flag, or the SDK's answer
// for the manager; no manager, or an SDK that throws, answers false.
bool QueryState(bool mock_state, bool (*query)(kx_eeg_manager*)) {
    SessionState& session = *Session();
    if (session.mock_mode) {
        return mock_state;
    }
    kx_eeg_manager* manager = session.manager.load();
    if (manager == nullptr) {
        return false;
    }
    try {
        return query(manager);
    } catch (...) {
        return false;
    }
}

}  // namespace

bool IsConnected() {
    return QueryState(Session()->mock_connected, kx_eeg_manager_is_connected);
}

bool IsStreaming() {
    return QueryState(Session()->mock_streaming, kx_eeg_manager_is_streaming);
}

kx_eeg_manager* RequireManager() {
    SessionState& session = *Session();
    const bool present = session.mock_mode ? session.mock_connected : session.manager.load() != nullptr;
    if (!present) {
        ThrowMex(id::kNotConnected, "No active EEG manager. Call kx_connect first.");
    }
    return session.manager.load();
}

kx_eeg_manager* RequireConnectedManager() {
    SessionState& session = *Session();
    if (session.mock_mode) {
        if (!session.mock_connected) {
            ThrowMex(id::kNotConnected, "No device connected. Call kx_connect first.");
        }
        return nullptr;
    }
    kx_eeg_manager* manager = RequireManager();
    if (!kx_eeg_manager_is_connected(manager)) {
        ThrowMex(id::kNotConnected, "No device connected. Call kx_connect first.");
    }
    return manager;
}

std::uint64_t DestroyManagerIfNeeded() {
    SessionState& session = *Session();
    kx_eeg_manager* manager = session.manager.load();
    if (manager != nullptr) {
        // The chunk callback goes first, so no callback runs into a manager
        // that is being torn down.
        Swallowing([manager] { kx_eeg_manager_set_callback_chunk(manager, nullptr, nullptr); });
        Swallowing([manager] { kx_eeg_manager_set_callback_disconnect(manager, NoopDisconnectCallback, nullptr); });
        Swallowing([manager] {
            if (kx_eeg_manager_is_streaming(manager)) {
                kx_eeg_manager_stop_stream(manager, nullptr, nullptr);
            }
        });
        bool connected = false;
        if (Swallowing([manager, &connected] { connected = kx_eeg_manager_is_connected(manager); }) && connected &&
            !Swallowing([manager] { kx_eeg_manager_disconnect(manager); })) {
            // The link may outlive the free, and its drop call the disconnect callback.
            ExpectLateCallbacks(session);
        }
        // The connect record is kept when the free failed: that manager may still call back.
        if (!Swallowing([manager, &session] {
                kx_eeg_manager_free(manager);
                session.connect_wait.reset();
            })) {
            ExpectLateCallbacks(session);
        }
        session.manager.store(nullptr);
    }
    session.stream_incompatible = false;
    session.stream_sample_rate_hz.store(0);
    return ClearChunkBuffer(session, true);
}

void StopMockStreamThread(SessionState& session) {
    session.mock_stop_requested.exchange(true);
    {
        // Taking the lock orders the flag before the thread's next predicate
        // check, so the wake-up below cannot be missed.
        std::lock_guard<std::mutex> lock(session.mock_mutex);
    }
    session.mock_wake.notify_all();
    if (session.mock_thread.joinable()) {
        session.mock_thread.join();
    }
    session.mock_streaming = false;
}

std::uint64_t DisconnectMockHeadset(SessionState& session) {
    StopMockStreamThread(session);
    {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        session.mock_connected = false;
        session.mock_streaming = false;
        session.mock_device_name.clear();
    }
    session.stream_sample_rate_hz.store(0);
    return ClearChunkBuffer(session, true);
}

void ResetMockSessionState(bool keep_mock_mode) {
    SessionState& session = *Session();
    StopMockStreamThread(session);
    {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        session.mock_core_initialized = false;
        session.mock_connected = false;
        session.mock_streaming = false;
        session.mock_device_name.clear();
        session.mock_sample_rate_hz = 250;
        session.mock_chunk_samples = 25;
        session.mock_sample_index = 0;
        session.mock_channel_enabled.clear();
        session.mock_channel_gains.clear();
        session.mock_channel_biases.clear();
        session.mock_annotations.clear();
    }
    session.mock_stop_requested.exchange(false);
    session.stream_sample_rate_hz.store(0);
    ClearChunkBuffer(session, true);
    if (!keep_mock_mode) {
        session.mock_mode = false;
    }
}

MxPtr HandleStatus() {
    SessionState& session = *Session();
    StructBuilder result(
        {"backend", "backend_variant", "connected", "core_initialized", "manager_present", "mode", "streaming"});
    result.Set("backend", MakeString(kBackend));
    result.Set("backend_variant", MakeString(session.mock_mode ? "mock" : "mex"));
    result.Set("connected", MakeLogical(IsConnected()));
    result.Set("core_initialized",
               MakeLogical(session.mock_mode ? session.mock_core_initialized : session.core_initialized));
    result.Set("manager_present",
               MakeLogical(session.mock_mode ? session.mock_connected : session.manager.load() != nullptr));
    result.Set("mode", MakeString(kMode));
    result.Set("streaming", MakeLogical(IsStreaming()));
    return result.Release();
}

MxPtr HandleIsConnected() {
    return StructBuilder({"connected"}).Set("connected", MakeLogical(IsConnected())).Release();
}

MxPtr HandleIsStreaming() {
    return StructBuilder({"streaming"}).Set("streaming", MakeLogical(IsStreaming())).Release();
}

MxPtr HandleClose() {
    SessionState& session = *Session();
    StructBuilder result({"closed", "disconnected", "mode", "stopped"});
    bool disconnected = false;
    if (session.mock_mode) {
        disconnected = session.mock_connected;
        ResetMockSessionState(true);
    } else {
        disconnected = session.manager.load() != nullptr;
        DestroyManagerIfNeeded();
        CloseCoreAndUnlock(session);
    }
    result.Set("closed", MakeLogical(true));
    result.Set("disconnected", MakeLogical(disconnected));
    result.Set("mode", MakeString(kMode));
    result.Set("stopped", MakeLogical(true));
    return result.Release();
}

void CleanupAtExit() {
    try {
        ResetMockSessionState(false);
    } catch (...) {
    }
    try {
        DestroyManagerIfNeeded();
    } catch (...) {
    }
    try {
        CloseCoreAndUnlock(*Session());
    } catch (...) {
    }
    EndSession();
}

}  // namespace kx
