// Helpers shared by the simulator's own tests.
#ifndef KX_TESTS_SIMSDK_SIM_TEST_UTIL_H
#define KX_TESTS_SIMSDK_SIM_TEST_UTIL_H

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kxcore.h"
#include "kxsim.h"

namespace simtest {

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { kxsim::Reset(); }
    void TearDown() override { kxsim::Reset(); }
};

// Waits for pred (checked under mu) up to timeout.
template <typename Pred>
bool WaitUntil(std::mutex& mu, std::condition_variable& cv, Pred pred, int timeout_ms = 5000) {
    std::unique_lock<std::mutex> lk(mu);
    return cv.wait_for(lk, std::chrono::milliseconds(timeout_ms), pred);
}

// Records connect and disconnect callbacks with the thread they ran on.
struct LinkEvents {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<bool> connects;
    std::vector<std::thread::id> connect_threads;
    int disconnects = 0;

    static void OnConnect(bool ok, void* user) {
        auto* self = static_cast<LinkEvents*>(user);
        std::lock_guard<std::mutex> lk(self->mu);
        self->connects.push_back(ok);
        self->connect_threads.push_back(std::this_thread::get_id());
        self->cv.notify_all();
    }
    static void OnDisconnect(void* user) {
        auto* self = static_cast<LinkEvents*>(user);
        std::lock_guard<std::mutex> lk(self->mu);
        ++self->disconnects;
        self->cv.notify_all();
    }
    bool WaitConnects(size_t n, int timeout_ms = 5000) {
        return WaitUntil(
            mu, cv, [&] { return connects.size() >= n; }, timeout_ms);
    }
    size_t ConnectCount() {
        std::lock_guard<std::mutex> lk(mu);
        return connects.size();
    }
};

// Polls is_connected the way the gateway does, with a deadline.
inline bool WaitLinked(kx_eeg_manager* m, bool want = true, int timeout_ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (kx_eeg_manager_is_connected(m) == want) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

inline bool WaitStreaming(kx_eeg_manager* m, bool want = true, int timeout_ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (kx_eeg_manager_is_streaming(m) == want) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// A new manager connected to name with an immediate link.
inline kx_eeg_manager* Connected(const char* name = "SIM SOLA 101") {
    kxsim::SetConnectPlan({0, 0, -1, true});
    kx_eeg_manager* m = kx_eeg_manager_new();
    if (!m) return nullptr;
    if (kx_eeg_manager_connect(m, name, nullptr, nullptr) != KX_ERROR_OK) return nullptr;
    return WaitLinked(m) ? m : nullptr;
}

}  // namespace simtest

#endif  // KX_TESTS_SIMSDK_SIM_TEST_UTIL_H
