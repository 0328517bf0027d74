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

StructBuilder::StructBuilder(std::initializer_list<const char*> fields, std::size_t rows) {
    std::vector<const char*> names(fields);
    array_ = CheckCreated(mxCreateStructMatrix(rows, 1, static_cast<int>(names.size()), names.data()));
}

StructBuilder& StructBuilder::Set(std::size_t index, const char* field, MxPtr value) {
    mxSetField(array_.get(), index, field, value.release());
    return *this;
}

}  // namespace kx
