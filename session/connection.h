// Finding headsets and attaching the session to one: the connect callback's
// record and the two steps of a real connect that run outside MATLAB's API.
#ifndef KX_SESSION_CONNECTION_H
#define KX_SESSION_CONNECTION_H

#include "interfaces/kxcore.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

namespace kx {

// Written by ConnectCallback on an SDK thread, read by the connect wait.
// `mutex` is held only to read or write the two flags.
struct ConnectWaitState {
    std::mutex mutex;
    bool done = false;
    bool success = false;
};

// `user` is the ConnectWaitState handed to kx_eeg_manager_connect.
void ConnectCallback(bool connected, void* user) noexcept;

// What the connect worker thread brought back from kx_eeg_manager_connect.
struct ConnectAttempt {
    // 255 until the SDK call returns.
    kx_status status = 255;
    // Empty unless the SDK call threw.
    std::string error;
};

// Hands `wait` to the session, which keeps it until `manager` is freed, then
// runs kx_eeg_manager_connect on a worker thread and joins it. Nothing the
// SDK throws escapes; a failure to start the thread does.
ConnectAttempt RunConnectWorker(kx_eeg_manager* manager, const std::string& device_name,
                                const std::shared_ptr<ConnectWaitState>& wait);

// Polls every 100 ms until the session's link is up, the callback reported
// failure, or `limit` has passed; returns whether the link is up.
bool WaitForLink(ConnectWaitState& wait, std::chrono::steady_clock::duration limit);

}  // namespace kx

#endif  // KX_SESSION_CONNECTION_H
