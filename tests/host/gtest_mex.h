// GoogleTest assertions on MEX call results, checked the way MATLAB code sees them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace mxhost::testing {

inline std::string ErrorText(const CallResult& r) {
    return r.identifier.empty() ? r.message : r.identifier + ": " + r.message;
}

inline ::testing::AssertionResult MexOk(const char* expr, const CallResult& r) {
    if (r.ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << expr << " raised " << ErrorText(r);
}

inline ::testing::AssertionResult MexError(const char* expr, const char*, const char*, const CallResult& r,
                                           const std::string& id, const std::string& message) {
    if (r.ok) {
        return ::testing::AssertionFailure() << expr << " returned normally (" << Describe(r.value)
                                             << ") instead of raising " << id << ": " << message;
    }
    if (r.identifier == id && r.message == message) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << expr << " raised\n  " << ErrorText(r) << "\nexpected\n  " << id << ": "
                                         << message;
}

inline ::testing::AssertionResult NoMexLeaks(const char* expr, const CallResult& r) {
    if (r.leaks.empty()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << expr << " left " << r.leaks.size() << " allocation(s):";
    for (const auto& leak : r.leaks) failure << "\n  " << leak;
    return failure;
}

inline ::testing::AssertionResult NoMexViolations() {
    const auto v = Violations();
    if (v.empty()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << v.size() << " MEX API contract violation(s):";
    for (const auto& what : v) failure << "\n  " << what;
    return failure;
}

}  // namespace mxhost::testing

#define EXPECT_MEX_OK(result) EXPECT_PRED_FORMAT1(::mxhost::testing::MexOk, result)
#define ASSERT_MEX_OK(result) ASSERT_PRED_FORMAT1(::mxhost::testing::MexOk, result)
#define EXPECT_MEX_ERROR(result, id, message) EXPECT_PRED_FORMAT3(::mxhost::testing::MexError, result, id, message)
#define EXPECT_NO_MEX_LEAKS(result) EXPECT_PRED_FORMAT1(::mxhost::testing::NoMexLeaks, result)
#define EXPECT_NO_MEX_VIOLATIONS() EXPECT_TRUE(::mxhost::testing::NoMexViolations())
