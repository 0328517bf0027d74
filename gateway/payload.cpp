#include "gateway/payload.h"

#include "gateway/failure.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace kx {
namespace {

// The field's value, or null when the payload is absent or empty, is not a
// struct, or has no such field.
const mxArray* LookUpField(const mxArray* payload, const char* field) {
    if (payload == nullptr || mxIsEmpty(payload) || !mxIsStruct(payload)) {
        return nullptr;
    }
    return mxGetField(payload, 0, field);
}

}  // namespace

bool CopyCharArray(const mxArray* value, std::string& text) {
    struct MxFreeDeleter {
        void operator()(char* buffer) const noexcept { mxFree(buffer); }
    };
    const std::unique_ptr<char, MxFreeDeleter> converted(mxArrayToString(value));
    if (converted == nullptr) {
        return false;
    }
    text.assign(converted.get());
    return true;
}

std::string QuotedField(const char* field) {
    return "\"" + std::string(field) + "\"";
}

std::string RequirePayloadString(const mxArray* payload, const char* field) {
    const mxArray* value = LookUpField(payload, field);
    if (value == nullptr || !mxIsChar(value)) {
        ThrowMex(id::kInvalidArgument, QuotedField(field) + " must be a non-empty string.");
    }
    std::string text;
    if (!CopyCharArray(value, text)) {
        ThrowMex(id::kInvalidArgument, "Could not decode field " + QuotedField(field) + ".");
    }
    if (text.empty()) {
        ThrowMex(id::kInvalidArgument, QuotedField(field) + " must be a non-empty string.");
    }
    return text;
}

double RequirePayloadScalar(const mxArray* payload, const char* field, bool accept_logical) {
    const mxArray* value = LookUpField(payload, field);
    if (value == nullptr || mxIsEmpty(value) || mxGetNumberOfElements(value) != 1) {
        ThrowMex(id::kInvalidArgument, QuotedField(field) + " must be a scalar value.");
    }
    if (mxIsLogical(value)) {
        if (!accept_logical) {
            ThrowMex(id::kInvalidArgument, QuotedField(field) + " must be numeric.");
        }
        return mxIsLogicalScalarTrue(value) ? 1.0 : 0.0;
    }
    if (!mxIsNumeric(value)) {
        ThrowMex(id::kInvalidArgument, QuotedField(field) + " must be numeric.");
    }
    const double number = mxGetScalar(value);
    if (!(std::fabs(number) <= DBL_MAX)) {  // also false for NaN
        ThrowMex(id::kInvalidArgument, QuotedField(field) + " must be finite.");
    }
    return number;
}

const mxArray* FindPayloadField(const mxArray* payload, const char* field) {
    const mxArray* value = LookUpField(payload, field);
    if (value == nullptr || mxIsEmpty(value)) {
        return nullptr;
    }
    return value;
}

std::int32_t TruncateToInt32(double value) {
    // Both bounds are exact doubles; every value strictly between them
    // truncates into range, so the cast below is always defined.
    constexpr double kBelowMin = -2147483649.0;
    constexpr double kAboveMax = 2147483648.0;
    if (value > kBelowMin && value < kAboveMax) {
        return static_cast<std::int32_t>(value);
    }
    return std::numeric_limits<std::int32_t>::min();
}

void CopyStringToBuffer(char* destination, std::size_t capacity, const std::string& source) {
    if (capacity == 0) {
        return;
    }
    const std::size_t length = source.size() < capacity - 1 ? source.size() : capacity - 1;
    std::memcpy(destination, source.data(), length);
    destination[length] = '\0';
}

}  // namespace kx
