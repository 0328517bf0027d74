// A teardown that could not free its manager (or close its link) leaves the
// SDK holding callbacks that point into the MEX file: the file must stay
// locked in memory, and the session must go on working.
#include "gateway_fixture.h"

#include <dlfcn.h>

#include <string>
#include <vector>

namespace kxtest {
namespace {

const char* const kHeadset = "SIM SOLA 101";

class UnfreedManagerTest : public GatewayTest {
protected:
    // The simulated SDK lets go of every manager first (its threads joined),
    // as a process that ends does; only then is the file unloaded.
    void TearDown() override {
        kxsim::Reset();
        GatewayTest::TearDown();
    }

    void Connect() {
        Array payload = mxhost::Struct({{"device_name", mxhost::Str(kHeadset)}});
        ASSERT_TRUE(B(Ok(Call("connect", payload)), "connected"));
    }
};

// close unlocked the file after kx_eeg_manager_free threw, so clear unloaded it and the SDK's late connect callback
// jumped into unmapped memory.
TEST_F(UnfreedManagerTest, FreeThatThrowsAtClose_KeepsOneLockAndTheSessionGoesOn) {
    kxsim::SetConnectPlan({0, 0, 1500, true, -1});  // the callback comes long after connect answered
    kxsim::ScriptThrow("kx_eeg_manager_free", "x");
    Connect();
    const mxArray* closed = Ok(Call("close"));
    EXPECT_TRUE(B(closed, "closed"));
    EXPECT_TRUE(B(closed, "disconnected"));
    EXPECT_EQ(mex().LockCount(), 1);
    EXPECT_FALSE(mex().Clear()) << "clear must be refused while the SDK holds a callback into the file";
    EXPECT_TRUE(mex().Loaded());
    EXPECT_FALSE(B(Ok(Call("status")), "manager_present"));

    // The session goes on: init, a new connection with a stream, close.
    Ok(Call("init"));
    EXPECT_EQ(mex().LockCount(), 1) << "init takes no second lock";
    kxsim::SetConnectPlan({0, 10, 10, true, -1});
    Connect();
    Ok(Call("start_stream"));
    ASSERT_TRUE(kxsim::WaitForChunks(1));
    const mxArray* read = Ok(Call("read_chunk", mxhost::Struct({{"timeout_ms", mxhost::Num(2000)}})));
    EXPECT_TRUE(B(mxhost::Field(read, "meta"), "available"));
    Ok(Call("close"));
    EXPECT_EQ(kxsim::LiveManagers(), 1) << "the second manager was freed, the first never could be";
    EXPECT_EQ(mex().LockCount(), 1) << "every close leaves exactly one lock";
}

TEST_F(UnfreedManagerTest, FreeThatThrowsAtDisconnect_KeepsTheLockThroughLaterCloses) {
    kxsim::SetConnectPlan({0, 0, 1500, true, -1});
    kxsim::ScriptThrow("kx_eeg_manager_free", "x");
    Connect();
    EXPECT_TRUE(B(Ok(Call("disconnect")), "was_connected"));
    Ok(Call("close"));
    EXPECT_EQ(mex().LockCount(), 1);
    Ok(Call("close"));
    EXPECT_EQ(mex().LockCount(), 1);
    EXPECT_FALSE(mex().Clear());
}

// A link that stays up after its disconnect threw may still drop later and call the disconnect callback.
TEST_F(UnfreedManagerTest, DisconnectThatThrowsAtClose_KeepsOneLock) {
    kxsim::SetConnectPlan({0, 0, 0, true, 1000});
    kxsim::ScriptThrow("kx_eeg_manager_disconnect", "x");
    Connect();
    Ok(Call("close"));
    EXPECT_EQ(mex().LockCount(), 1);
    EXPECT_FALSE(mex().Clear());
}

TEST_F(UnfreedManagerTest, FreeThatThrowsInTheExitHandler_LeavesOneLock) {
    kxsim::SetConnectPlan({0, 0, -1, true, -1});  // no callback of that manager will ever come
    Connect();
    kxsim::ScriptThrow("kx_eeg_manager_free", "x");
    mex().ForceClear();
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_free"), 1);
    EXPECT_EQ(mex().ExitHandlerLocks(), 1);
}

// The exit handler could not free a manager (or close its link) that still had a callback to make; the host unloaded
// the file all the same, and the callback ran into unmapped code and a destroyed session record.
TEST_F(UnfreedManagerTest, TeardownThatFailsInTheExitHandler_LateCallbacksFindTheFileAndTheNextLoadStartsAfresh) {
    struct Case {
        const char* callback;
        kxsim::ConnectPlan plan;
        std::vector<const char*> throwing;
    };
    const Case cases[] = {
        {"connect", {0, 0, 300, true, -1}, {"kx_eeg_manager_free"}},
        {"disconnect", {0, 0, -1, true, 300}, {"kx_eeg_manager_disconnect", "kx_eeg_manager_free"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("late ") + c.callback + " callback");
        kxsim::Reset();
        kxsim::SetConnectPlan(c.plan);
        Connect();
        for (const char* op : c.throwing) {
            kxsim::ScriptThrow(op, "x");
        }
        mex().ForceClear();
        void* still = dlopen(KX_TEST_MEX_REAL, RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(still, nullptr) << "unmapped while the SDK holds a callback into it";
        dlclose(still);
        ASSERT_TRUE(kxsim::WaitForLinkCallbacks(1));
        const mxArray* status = Ok(Call("status"));
        EXPECT_FALSE(B(status, "core_initialized"));
        EXPECT_FALSE(B(status, "manager_present"));
        EXPECT_FALSE(mex().IsLocked());
        EXPECT_EQ(kxsim::LiveManagers(), 1);
    }
}

TEST_F(UnfreedManagerTest, TeardownThatFreesItsManager_ReleasesEveryLock) {
    kxsim::SetConnectPlan({0, 0, 0, true, -1});
    kxsim::ScriptThrow("kx_eeg_manager_stop_stream", "x");
    kxsim::ScriptThrow("kx_eeg_manager_set_callback_chunk", "x");
    Connect();
    Ok(Call("close"));
    EXPECT_FALSE(mex().IsLocked());
    Connect();
    mex().ForceClear();
    EXPECT_EQ(mex().ExitHandlerLocks(), 0);
}

}  // namespace
}  // namespace kxtest
