// Connect plans, connect callbacks on simulator threads, and link loss.
#include "sim_test_util.h"

namespace {

using simtest::LinkEvents;
using simtest::SimTest;
using ConnectTest = SimTest;

TEST_F(ConnectTest, DefaultPlan_LinksLaterAndCallsBackTrueOnASimulatorThread) {
    kx_eeg_manager* m = kx_eeg_manager_new();
    LinkEvents ev;
    ASSERT_EQ(kx_eeg_manager_connect(m, "SIM SOLA 101", LinkEvents::OnConnect, &ev), KX_ERROR_OK);
    EXPECT_FALSE(kx_eeg_manager_is_connected(m));  // the link takes ~300 ms
    ASSERT_TRUE(ev.WaitConnects(1));
    EXPECT_TRUE(ev.connects[0]);
    EXPECT_NE(ev.connect_threads[0], std::this_thread::get_id());
    EXPECT_TRUE(simtest::WaitLinked(m));
    kx_eeg_manager_free(m);
    EXPECT_TRUE(kxsim::Violations().empty());
}

TEST_F(ConnectTest, UnknownName_FailsWithConnectionErrorAndNeverCallsBack) {
    kx_eeg_manager* m = kx_eeg_manager_new();
    LinkEvents ev;
    EXPECT_EQ(kx_eeg_manager_connect(m, "NOBODY", LinkEvents::OnConnect, &ev), KX_ERROR_CONNECTION);
    EXPECT_EQ(kx_eeg_manager_connect(m, nullptr, LinkEvents::OnConnect, &ev), KX_ERROR_CONNECTION);
    kx_eeg_manager_free(m);  // joins the manager's threads: nothing can call back after this
    EXPECT_EQ(ev.ConnectCount(), 0u);
    EXPECT_FALSE(kxsim::Connected());
}

TEST_F(ConnectTest, Plans_FailureNeverLinkedIncompatibleAndLateCallback) {
    struct Case {
        const char* what;
        kxsim::ConnectPlan plan;
        bool linked;
    };
    const Case cases[] = {
        {"failure after a while", {0, -1, 50, false}, false},
        {"success but never linked", {0, -1, 20, true}, false},
        {"linked, incompatible stream format", {2, 0, 0, true}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kxsim::SetConnectPlan(c.plan);
        kx_eeg_manager* m = kx_eeg_manager_new();
        LinkEvents ev;
        EXPECT_EQ(kx_eeg_manager_connect(m, "SIM ZEM 202", LinkEvents::OnConnect, &ev), c.plan.status);
        ASSERT_TRUE(ev.WaitConnects(1));
        EXPECT_EQ(ev.connects[0], c.plan.callback_success);
        if (c.linked)
            EXPECT_TRUE(simtest::WaitLinked(m));
        else
            EXPECT_FALSE(kx_eeg_manager_is_connected(m));
        kx_eeg_manager_free(m);
    }
}

TEST_F(ConnectTest, LateCallback_ArrivesAfterTheLinkIsAlreadyUp) {
    kxsim::SetConnectPlan({0, 0, 1500, true});
    kx_eeg_manager* m = kx_eeg_manager_new();
    LinkEvents ev;
    ASSERT_EQ(kx_eeg_manager_connect(m, "SIM SOLA 101", LinkEvents::OnConnect, &ev), KX_ERROR_OK);
    ASSERT_TRUE(simtest::WaitLinked(m, true, 1000));
    EXPECT_EQ(ev.ConnectCount(), 0u);
    ASSERT_TRUE(ev.WaitConnects(1));
    kx_eeg_manager_free(m);
}

TEST_F(ConnectTest, FailingPlanStatus_ReturnsAtOnceWithoutLinkOrCallback) {
    kxsim::SetConnectPlan({KX_ERROR_BLUETOOTH_DISABLED, 0, 0, true});
    kx_eeg_manager* m = kx_eeg_manager_new();
    LinkEvents ev;
    EXPECT_EQ(kx_eeg_manager_connect(m, "SIM SOLA 101", LinkEvents::OnConnect, &ev), KX_ERROR_BLUETOOTH_DISABLED);
    kx_eeg_manager_free(m);
    EXPECT_EQ(ev.ConnectCount(), 0u);
}

TEST_F(ConnectTest, Free_CancelsAPendingConnectCallback) {
    kxsim::SetConnectPlan({0, 60000, 60000, true});
    kx_eeg_manager* m = kx_eeg_manager_new();
    LinkEvents ev;
    ASSERT_EQ(kx_eeg_manager_connect(m, "SIM SOLA 101", LinkEvents::OnConnect, &ev), KX_ERROR_OK);
    auto before = std::chrono::steady_clock::now();
    kx_eeg_manager_free(m);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(ev.ConnectCount(), 0u);
    EXPECT_EQ(kxsim::LiveManagers(), 0);
}

struct Reentrant {
    kx_eeg_manager* m = nullptr;
    LinkEvents ev;
    bool seen_connected = false;
    static void OnConnect(bool ok, void* user) {
        auto* self = static_cast<Reentrant*>(user);
        {
            std::lock_guard<std::mutex> lk(self->ev.mu);
            self->seen_connected = kx_eeg_manager_is_connected(self->m);
        }
        LinkEvents::OnConnect(ok, &self->ev);
    }
};

TEST_F(ConnectTest, ConnectCallback_MayCallTheSdkWithoutDeadlock) {
    kxsim::SetConnectPlan({0, 0, 50, true});
    Reentrant r;
    r.m = kx_eeg_manager_new();
    ASSERT_EQ(kx_eeg_manager_connect(r.m, "SIM SOLA 101", Reentrant::OnConnect, &r), KX_ERROR_OK);
    ASSERT_TRUE(r.ev.WaitConnects(1));
    EXPECT_TRUE(r.seen_connected);
    kx_eeg_manager_free(r.m);
}

TEST_F(ConnectTest, DropLink_EndsLinkAndStreamThenCallsDisconnect) {
    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    LinkEvents ev;
    kx_eeg_manager_set_callback_disconnect(m, LinkEvents::OnDisconnect, &ev);
    ASSERT_EQ(kx_eeg_manager_start_stream(m, nullptr, nullptr), KX_ERROR_OK);
    ASSERT_TRUE(kx_eeg_manager_is_streaming(m));
    kxsim::DropLink();
    EXPECT_FALSE(kx_eeg_manager_is_connected(m));
    EXPECT_FALSE(kx_eeg_manager_is_streaming(m));
    EXPECT_EQ(kx_eeg_manager_get_device_info(m), nullptr);
    EXPECT_TRUE(simtest::WaitUntil(ev.mu, ev.cv, [&] { return ev.disconnects == 1; }));
    EXPECT_EQ(kx_eeg_manager_start_stream(m, nullptr, nullptr), KX_ERROR_CONNECTION);
    kx_eeg_manager_free(m);
}

TEST_F(ConnectTest, PlannedDrop_LosesTheLinkAfterTheGivenTime) {
    kxsim::SetConnectPlan({0, 0, -1, true, 50});
    kx_eeg_manager* m = kx_eeg_manager_new();
    LinkEvents ev;
    kx_eeg_manager_set_callback_disconnect(m, LinkEvents::OnDisconnect, &ev);
    ASSERT_EQ(kx_eeg_manager_connect(m, "SIM SOLA 101", nullptr, nullptr), KX_ERROR_OK);
    EXPECT_TRUE(simtest::WaitUntil(ev.mu, ev.cv, [&] { return ev.disconnects == 1; }));
    EXPECT_FALSE(kx_eeg_manager_is_connected(m));
    kx_eeg_manager_free(m);
}

TEST_F(ConnectTest, Disconnect_EndsTheLinkWithoutTheDisconnectCallback) {
    kx_eeg_manager* m = simtest::Connected();
    ASSERT_NE(m, nullptr);
    LinkEvents ev;
    kx_eeg_manager_set_callback_disconnect(m, LinkEvents::OnDisconnect, &ev);
    kx_eeg_manager_disconnect(m);
    EXPECT_FALSE(kx_eeg_manager_is_connected(m));
    kx_eeg_manager_free(m);
    EXPECT_EQ(ev.disconnects, 0);
}

}  // namespace
