// The connect callback's record against an SDK that calls back after connect
// has answered.
#include "session/connection.h"
#include "session/session_state.h"

#include "kxsim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Waits until the record, which the test itself no longer owns, shows the
// callback's success; fails at once if the record has been released.
void ExpectCallbackArrives(const std::weak_ptr<kx::ConnectWaitState>& held) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (;;) {
        const std::shared_ptr<kx::ConnectWaitState> record = held.lock();
        ASSERT_NE(record, nullptr) << "released while its manager may still call back";
        {
            std::lock_guard<std::mutex> lock(record->mutex);
            if (record->done) {
                EXPECT_TRUE(record->success);
                return;
            }
        }
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the callback never came";
        std::this_thread::sleep_for(5ms);
    }
}

class ConnectWaitUnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        kxsim::Reset();
        kxsim::SetConnectPlan({0, 50, 1500, true, -1});
    }

    void TearDown() override {
        kx::DestroyManagerIfNeeded();
        kxsim::Reset();  // frees what a failed free left behind
        kx::Session()->connect_wait.reset();
        EXPECT_EQ(kxsim::Violations(), std::vector<std::string>{});
    }

    // Connects a new manager of the session the way connect does and returns
    // the record, no longer owned by the caller, once the link is up.
    std::weak_ptr<kx::ConnectWaitState> ConnectAndForgetTheRecord() {
        kx_eeg_manager* manager = kx_eeg_manager_new();
        EXPECT_NE(manager, nullptr);
        kx::Session()->manager.store(manager);
        auto wait = std::make_shared<kx::ConnectWaitState>();
        const kx::ConnectAttempt attempt = kx::RunConnectWorker(manager, "SIM SOLA 101", wait);
        EXPECT_EQ(attempt.status, KX_ERROR_OK);
        EXPECT_EQ(attempt.error, "");
        EXPECT_TRUE(kx::WaitForLink(*wait, 5s));
        {
            std::lock_guard<std::mutex> lock(wait->mutex);
            EXPECT_FALSE(wait->done) << "the link is meant to come up before the callback";
        }
        return wait;
    }
};

TEST_F(ConnectWaitUnitTest, LateCallback_WritesIntoARecordKeptUntilTheManagerIsFreed) {
    // A callback arriving after connect had answered wrote into a record that was already gone.
    const std::weak_ptr<kx::ConnectWaitState> held = ConnectAndForgetTheRecord();
    ExpectCallbackArrives(held);
    kx::DestroyManagerIfNeeded();
    EXPECT_TRUE(held.expired()) << "released once its manager is freed";
}

TEST_F(ConnectWaitUnitTest, FreeThatThrows_KeepsTheRecordThroughTheNextConnect) {
    const std::weak_ptr<kx::ConnectWaitState> held = ConnectAndForgetTheRecord();
    kxsim::ScriptThrow("kx_eeg_manager_free", "busy");
    kx::DestroyManagerIfNeeded();
    EXPECT_EQ(kx::Session()->manager.load(), nullptr);
    ExpectCallbackArrives(held);

    const std::weak_ptr<kx::ConnectWaitState> next = ConnectAndForgetTheRecord();
    EXPECT_FALSE(held.expired()) << "the manager that was not freed may still call back";
    kx::DestroyManagerIfNeeded();
    EXPECT_TRUE(next.expired());
}

TEST_F(ConnectWaitUnitTest, WaitForLink_CallbackFailure_EndsTheWaitUnlinked) {
    kxsim::SetConnectPlan({0, -1, 100, false, -1});
    kx_eeg_manager* manager = kx_eeg_manager_new();
    kx::Session()->manager.store(manager);
    auto wait = std::make_shared<kx::ConnectWaitState>();
    EXPECT_EQ(kx::RunConnectWorker(manager, "SIM SOLA 101", wait).status, KX_ERROR_OK);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(kx::WaitForLink(*wait, 20s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace
