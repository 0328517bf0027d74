#include "gateway/values.h"

#include <cstring>
#include <new>

namespace kx {

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
