// Payload field readers and the conversions of payload numbers, on values of
// the substitute MATLAB host.
#include "gateway/values.h"
#include "gateway/failure.h"

#include "harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

namespace kx {
namespace {

using mxhost::Array;
using mxhost::Num;
using mxhost::Str;

std::string FailureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const MexFailure& failure) {
        EXPECT_EQ(failure.identifier, "kestrix:mex:invalidArgument");
        return failure.what();
    }
    return "(no failure)";
}

TEST(RequirePayloadString, RejectsWhatIsNotNonEmptyText) {
    Array text = mxhost::Struct({{"device_name", Str("SIM SOLA 101")}});
    EXPECT_EQ(RequirePayloadString(text, "device_name"), "SIM SOLA 101");
    const std::string missing = "\"device_name\" must be a non-empty string.";
    EXPECT_EQ(FailureOf([] { RequirePayloadString(nullptr, "device_name"); }), missing);
    Array empty_payload = mxhost::Empty(mxDOUBLE_CLASS);
    EXPECT_EQ(FailureOf([&] { RequirePayloadString(empty_payload, "device_name"); }), missing);
    Array other_field = mxhost::Struct({{"name", Str("x")}});
    EXPECT_EQ(FailureOf([&] { RequirePayloadString(other_field, "device_name"); }), missing);
    Array empty_text = mxhost::Struct({{"device_name", Str("")}});
    EXPECT_EQ(FailureOf([&] { RequirePayloadString(empty_text, "device_name"); }), missing);
    Array number = mxhost::Struct({{"device_name", Num(3)}});
    EXPECT_EQ(FailureOf([&] { RequirePayloadString(number, "device_name"); }), missing);
    Array string_scalar = mxhost::Struct({{"device_name", mxhost::StringScalar("x")}});
    EXPECT_EQ(FailureOf([&] { RequirePayloadString(string_scalar, "device_name"); }), missing);
}

TEST(RequirePayloadScalar, RejectsWhatIsNotOneFiniteNumber) {
    Array ok = mxhost::Struct({{"timeout_ms", Num(12.5)}});
    EXPECT_EQ(RequirePayloadScalar(ok, "timeout_ms", false), 12.5);
    EXPECT_EQ(FailureOf([] { RequirePayloadScalar(nullptr, "timeout_ms", false); }),
              "\"timeout_ms\" must be a scalar value.");
    Array empty_payload = mxhost::Empty(mxDOUBLE_CLASS);
    EXPECT_EQ(FailureOf([&] { RequirePayloadScalar(empty_payload, "timeout_ms", false); }),
              "\"timeout_ms\" must be a scalar value.");
    Array row = mxhost::Struct({{"timeout_ms", mxhost::Matrix(1, 2, {1, 2})}});
    EXPECT_EQ(FailureOf([&] { RequirePayloadScalar(row, "timeout_ms", false); }),
              "\"timeout_ms\" must be a scalar value.");
    Array empty = mxhost::Struct({{"timeout_ms", mxhost::Empty(mxDOUBLE_CLASS)}});
    EXPECT_EQ(FailureOf([&] { RequirePayloadScalar(empty, "timeout_ms", false); }),
              "\"timeout_ms\" must be a scalar value.");
    Array logical = mxhost::Struct({{"drain", mxhost::Logical(true)}});
    EXPECT_EQ(FailureOf([&] { RequirePayloadScalar(logical, "drain", false); }), "\"drain\" must be numeric.");
    EXPECT_EQ(RequirePayloadScalar(logical, "drain", true), 1.0);
    Array text = mxhost::Struct({{"drain", Str("y")}});
    EXPECT_EQ(FailureOf([&] { RequirePayloadScalar(text, "drain", true); }), "\"drain\" must be numeric.");
    Array cell = mxhost::Struct({{"drain", mxhost::Cell({Num(1)})}});
    EXPECT_EQ(FailureOf([&] { RequirePayloadScalar(cell, "drain", true); }), "\"drain\" must be numeric.");
    for (double bad : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN()}) {
        Array value = mxhost::Struct({{"rate_hz", Num(bad)}});
        EXPECT_EQ(FailureOf([&] { RequirePayloadScalar(value, "rate_hz", false); }), "\"rate_hz\" must be finite.");
    }
}

TEST(RequirePayloadScalar, AcceptsEveryNumericClass) {
    Array int8 = mxhost::Struct({{"channel_id", mxhost::Int(mxINT8_CLASS, -7)}});
    EXPECT_EQ(RequirePayloadScalar(int8, "channel_id", false), -7.0);
    Array single = mxhost::Struct({{"channel_id", mxhost::Int(mxSINGLE_CLASS, 2.5)}});
    EXPECT_EQ(RequirePayloadScalar(single, "channel_id", false), 2.5);
    Array uint64 = mxhost::Struct({{"channel_id", mxhost::Int(mxUINT64_CLASS, 40)}});
    EXPECT_EQ(RequirePayloadScalar(uint64, "channel_id", false), 40.0);
}

TEST(FindPayloadField, TreatsAnEmptyValueAsLeftOut) {
    Array payload = mxhost::Struct({{"max_buffer_chunks", mxhost::Empty(mxDOUBLE_CLASS)}, {"drain", Num(0)}});
    EXPECT_EQ(FindPayloadField(payload, "max_buffer_chunks"), nullptr);
    EXPECT_NE(FindPayloadField(payload, "drain"), nullptr);
    EXPECT_EQ(FindPayloadField(payload, "absent"), nullptr);
    EXPECT_EQ(FindPayloadField(nullptr, "drain"), nullptr);
}

TEST(TruncateToInt32, TruncatesTowardZeroAndMapsOutOfRangeToTheMinimum) {
    EXPECT_EQ(TruncateToInt32(2.9), 2);
    EXPECT_EQ(TruncateToInt32(-2.9), -2);
    EXPECT_EQ(TruncateToInt32(0.9), 0);
    EXPECT_EQ(TruncateToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(TruncateToInt32(2147483647.9), 2147483647);
    EXPECT_EQ(TruncateToInt32(-2147483648.9), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(TruncateToInt32(2147483648.0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(TruncateToInt32(-1e300), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(TruncateToInt32(1e300), std::numeric_limits<std::int32_t>::min());
}

TEST(CopyStringToBuffer, CutsALongTextAndAlwaysTerminates) {
    char buffer[201];
    std::memset(buffer, 'X', sizeof(buffer));
    CopyStringToBuffer(buffer, 200, std::string(250, 'p'));
    EXPECT_EQ(std::string(buffer), std::string(199, 'p'));
    EXPECT_EQ(buffer[200], 'X') << "nothing written past the capacity";
    CopyStringToBuffer(buffer, 200, "short");
    EXPECT_STREQ(buffer, "short");
}

TEST(MakeSizeRowVector, EmptyIsZeroByZeroAndLargeSizesStayPositive) {
    MxPtr empty = MakeSizeRowVector({});
    EXPECT_EQ(mxhost::Dims(empty.get()), (std::vector<size_t>{0, 0}));
    MxPtr row = MakeSizeRowVector({25, std::uint64_t{1} << 63, ~std::uint64_t{0}});
    EXPECT_EQ(mxhost::Dims(row.get()), (std::vector<size_t>{1, 3}));
    const double* values = mxGetDoubles(row.get());
    EXPECT_EQ(values[0], 25.0);
    EXPECT_EQ(values[1], 9223372036854775808.0);
    EXPECT_EQ(values[2], 18446744073709551616.0);
}

TEST(MakeCellRow, EmptyListIsOneByZero) {
    MxPtr empty = MakeCellRow({});
    EXPECT_EQ(mxhost::Dims(empty.get()), (std::vector<size_t>{1, 0}));
    EXPECT_EQ(mxhost::ClassName(empty.get()), "cell");
}

}  // namespace
}  // namespace kx
