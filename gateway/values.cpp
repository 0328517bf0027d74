#include "gateway/values.h"

#include "gateway/failure.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

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

MxPtr CheckCreated(mxArray* array) {
    if (array == nullptr) {
        throw std::bad_alloc();
    }
    return MxPtr(array);
}

MxPtr MakeDouble(double value) {
    return CheckCreated(mxCreateDoubleScalar(value));
}

MxPtr MakeLogical(bool value) {
    return CheckCreated(mxCreateLogicalScalar(value));
}

MxPtr MakeString(const std::string& text) {
    return CheckCreated(mxCreateString(text.c_str()));
}

MxPtr MakeEmptyDouble() {
    return CheckCreated(mxCreateDoubleMatrix(0, 0, mxREAL));
}

MxPtr MakeSizeRowVector(const std::vector<std::uint64_t>& sizes) {
    if (sizes.empty()) {
        return MakeEmptyDouble();
    }
    MxPtr row = CheckCreated(mxCreateDoubleMatrix(1, sizes.size(), mxREAL));
    double* out = mxGetDoubles(row.get());
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        out[k] = static_cast<double>(sizes[k]);  // unsigned conversion: 2^63 and above stay positive
    }
    return row;
}

MxPtr MakeDoubleRowVector(const std::vector<double>& values) {
    if (values.empty()) {
        return MakeEmptyDouble();
    }
    MxPtr row = CheckCreated(mxCreateDoubleMatrix(1, values.size(), mxREAL));
    std::memcpy(mxGetDoubles(row.get()), values.data(), values.size() * sizeof(double));
    return row;
}

MxPtr MakeCellRow(const std::vector<std::string>& texts) {
    MxPtr cell = CheckCreated(mxCreateCellMatrix(1, texts.size()));
    for (std::size_t k = 0; k < texts.size(); ++k) {
        mxSetCell(cell.get(), k, MakeString(texts[k]).release());
    }
    return cell;
}

MxPtr MakeNamedValue(const std::string& name, double value) {
    return StructBuilder({"name", "value"}).Set("name", MakeString(name)).Set("value", MakeDouble(value)).Release();
}

MxPtr MakeVersionStruct(const kx_version& version) {
    const std::string text =
        std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.patch);
    return StructBuilder({"major", "minor", "patch", "text"})
        .Set("major", MakeDouble(version.major))
        .Set("minor", MakeDouble(version.minor))
        .Set("patch", MakeDouble(version.patch))
        .Set("text", MakeString(text))
        .Release();
}

std::string DeviceModelNameForMatlab(std::uint8_t model) {
    switch (model) {
        case KX_MODEL_VELO: return "VELO";
        case KX_MODEL_RUNA: return "RUNA";
        case KX_MODEL_TOKA: return "TOKA";
        case KX_MODEL_ZEM: return "ZEM";
        case KX_MODEL_SOLA1: return "SOLA1";
        case KX_MODEL_SOLA: return "SOLA";
        default: return "UNKNOWN";
    }
}

MxPtr MakeDeviceInfoStruct(const kx_device_info& info, std::int32_t samples_per_packet) {
    return StructBuilder({"device_model", "firmware_version", "hardware_version", "sample_per_packet", "serial_number"})
        .Set("device_model", MakeNamedValue(DeviceModelNameForMatlab(info.device_model), info.device_model))
        .Set("firmware_version", MakeVersionStruct(info.firmware_version))
        .Set("hardware_version", MakeVersionStruct(info.hardware_version))
        .Set("sample_per_packet", MakeDouble(samples_per_packet))
        .Set("serial_number", MakeDouble(static_cast<double>(info.serial_number)))
        .Release();
}

StructBuilder::StructBuilder(std::initializer_list<const char*> fields, std::size_t rows) {
    std::vector<const char*> names(fields);
    array_ = CheckCreated(mxCreateStructMatrix(rows, 1, static_cast<int>(names.size()), names.data()));
}

StructBuilder& StructBuilder::Set(std::size_t index, const char* field, MxPtr value) {
    mxSetField(array_.get(), index, field, value.release());
    return *this;
}

}  // namespace kx
