// Fixtures for tests that call the built MEX file through the substitute
// MATLAB host, against the simulated SDK. Every test starts with a freshly
// loaded MEX file and a default simulated world, and ends by clearing the
// file (running its exit handler) and checking that neither the host nor the
// simulator saw a contract broken.
#ifndef KX_TESTS_GATEWAY_FIXTURE_H
#define KX_TESTS_GATEWAY_FIXTURE_H

#include "gtest_mex.h"
#include "harness.h"
#include "kxsim.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace kxtest {

using mxhost::Array;
using mxhost::CallResult;

class GatewayTest : public ::testing::Test {
protected:
    explicit GatewayTest(bool mock = false) : mock_(mock) {}

    void SetUp() override {
        kxsim::Reset();
        mxhost::ClearViolations();
        mex_ = std::make_unique<mxhost::MexModule>(mock_ ? KX_TEST_MEX_MOCK : KX_TEST_MEX_REAL);
    }

    void TearDown() override {
        kept_.clear();
        mex_->ForceClear();
        mex_.reset();
        EXPECT_NO_MEX_VIOLATIONS();
        EXPECT_EQ(kxsim::Violations(), std::vector<std::string>{}) << "SDK contract broken";
        kxsim::Reset();
    }

    // One call with one output, checked for arrays it left behind.
    CallResult Call(const std::string& command) { return Checked(mex_->Call(command)); }
    CallResult Call(const std::string& command, const mxArray* payload) {
        return Checked(mex_->Call(command, payload));
    }
    CallResult CallWith(int nlhs, std::vector<const mxArray*> args) {
        return Checked(mex_->Call(nlhs, std::move(args)));
    }

    // The value of a call that must succeed. A temporary result is kept
    // alive until the end of the test, so `Ok(Call("status"))` can be read.
    const mxArray* Ok(CallResult&& result) {
        const mxArray* value = Ok(static_cast<const CallResult&>(result));
        kept_.push_back(std::move(result));
        return value;
    }
    const mxArray* Ok(const CallResult& result) {
        EXPECT_TRUE(result.ok) << result.identifier << ": " << result.message;
        if (!result.ok || result.value == nullptr) {
            throw std::runtime_error("call failed: " + result.identifier + ": " + result.message);
        }
        return result.value;
    }

    mxhost::MexModule& mex() { return *mex_; }

private:
    static CallResult Checked(CallResult result) {
        EXPECT_NO_MEX_LEAKS(result);
        return result;
    }

    bool mock_;
    std::unique_ptr<mxhost::MexModule> mex_;
    std::deque<CallResult> kept_;
};

class MockGatewayTest : public GatewayTest {
protected:
    MockGatewayTest() : GatewayTest(true) {}
};

// A real-backend test whose headsets link up and call back 10 ms after each
// connect instead of the simulator's default 300 ms.
class QuickLinkGatewayTest : public GatewayTest {
protected:
    void SetUp() override {
        GatewayTest::SetUp();
        kxsim::SetConnectPlan({0, 10, 10, true, -1});
    }
};

// Failures are checked with EXPECT_MEX_ERROR(result, identifier, message) of
// gtest_mex.h: identifier and message exactly, as MATLAB code sees them.

inline double D(const mxArray* value, const char* field) {
    return mxhost::AsDouble(mxhost::Field(value, field));
}
inline bool B(const mxArray* value, const char* field) {
    return mxhost::AsBool(mxhost::Field(value, field));
}
inline std::string S(const mxArray* value, const char* field) {
    return mxhost::AsString(mxhost::Field(value, field));
}

}  // namespace kxtest

#endif  // KX_TESTS_GATEWAY_FIXTURE_H
