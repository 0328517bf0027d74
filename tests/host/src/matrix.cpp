// The mx* matrix API with MATLAB's semantics, on top of the host registry.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include "host_state.h"

using mxhost::detail::Api;
using mxhost::detail::S;

namespace {

bool IsNumericClass(mxClassID c) {
    return c >= mxDOUBLE_CLASS && c <= mxUINT64_CLASS;
}

bool IsValidName(const char* name) {
    if (name == nullptr || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
    size_t n = 0;
    for (const char* p = name; *p; ++p, ++n)
        if (!std::isalnum(static_cast<unsigned char>(*p)) && *p != '_') return false;
    return n <= 63;
}

std::vector<mwSize> DimsOf(mwSize ndim, const mwSize* dims) {
    if (dims == nullptr) return {0, 0};
    return std::vector<mwSize>(dims, dims + ndim);
}

template <typename T>
T* Typed(const char* fn, const mxArray* pa, mxClassID cls) {
    Api api(fn);
    mxArray* a = api.Arg(pa);
    // As in MATLAB's interleaved API, the typed accessors are for real arrays only.
    if (a == nullptr || a->cls != cls || a->string_scalar || a->complex) return nullptr;
    return reinterpret_cast<T*>(a->data.get());
}

mxArray* CreateNumeric(const char* fn, std::vector<mwSize> dims, mxClassID cls, mxComplexity flag, bool zeroed = true) {
    Api api(fn);
    if (!IsNumericClass(cls)) {
        api.Violation(std::string("class ") + std::to_string(cls) + " is not numeric");
        return nullptr;
    }
    mxArray* a = mxhost::detail::NewArray(cls, std::move(dims), fn, zeroed);
    if (flag == mxCOMPLEX) mxhost::detail::MakeComplex(a);
    return a;
}

mxArray* CreateStruct(const char* fn, std::vector<mwSize> dims, int nfields, const char** names) {
    Api api(fn);
    mxArray* a = mxhost::detail::NewArray(mxSTRUCT_CLASS, std::move(dims), fn);
    for (int f = 0; f < nfields; ++f) {
        const char* name = names != nullptr ? names[f] : nullptr;
        if (!IsValidName(name)) api.Violation(std::string("invalid field name '") + (name ? name : "(null)") + "'");
        for (const auto& existing : a->fields)
            if (name != nullptr && existing == name) api.Violation(std::string("duplicate field name '") + name + "'");
        a->fields.emplace_back(name != nullptr ? name : "");
    }
    a->slots.assign(a->nelem * a->fields.size(), nullptr);
    return a;
}

mxArray* CreateChars(const char* fn, std::vector<mwSize> dims, const std::u16string& text) {
    mxArray* a = mxhost::detail::NewArray(mxCHAR_CLASS, std::move(dims), fn);
    if (!text.empty()) std::memcpy(a->data.get(), text.data(), text.size() * sizeof(char16_t));
    return a;
}

// Stores `value` into slot `index` of `container`, enforcing single ownership.
void StoreInto(const Api& api, mxArray* container, size_t index, mxArray* value) {
    if (mxhost::detail::WithinInput(container)) {
        api.Violation("modifies an input argument (prhs); duplicate it first");
        return;
    }
    if (value != nullptr) {
        if (api.Arg(value) == nullptr) return;
        if (value->parent != nullptr) {
            api.Violation("value is already stored in another array; store a duplicate");
            return;
        }
        if (mxhost::detail::IsInput(value)) {
            api.Violation("value is an input argument (prhs); store mxDuplicateArray of it");
            return;
        }
        if (mxhost::detail::RootOf(container) == value) {
            api.Violation("value contains the container itself");
            return;
        }
    }
    mxArray*& slot = container->slots[index];
    if (slot != nullptr) slot->parent = nullptr;  // MATLAB leaves the old value to the caller
    slot = value;
    if (value != nullptr) value->parent = container;
}

int FieldIndex(const mxArray* a, const char* name) {
    if (a->cls != mxSTRUCT_CLASS || name == nullptr) return -1;
    for (size_t f = 0; f < a->fields.size(); ++f)
        if (a->fields[f] == name) return static_cast<int>(f);
    return -1;
}

mxArray* FieldValue(const mxArray* a, mwIndex i, int f) {
    if (a->cls != mxSTRUCT_CLASS || i >= a->nelem || f < 0 || static_cast<size_t>(f) >= a->fields.size())
        return nullptr;
    return a->slots[i * a->fields.size() + static_cast<size_t>(f)];
}

void SetFieldValue(const Api& api, mxArray* a, mwIndex i, int f, mxArray* value) {
    if (a->cls != mxSTRUCT_CLASS || i >= a->nelem || f < 0 || static_cast<size_t>(f) >= a->fields.size()) {
        api.Violation("not a struct, element index out of range or no such field");
        return;
    }
    StoreInto(api, a, i * a->fields.size() + static_cast<size_t>(f), value);
}

double ElementAsDouble(const mxArray* a, size_t i) {
    const unsigned char* p = a->data.get() + i * a->elem_size;
    auto load = [p](auto v) {
        std::memcpy(&v, p, sizeof v);
        return static_cast<double>(v);
    };
    switch (a->cls) {
        case mxDOUBLE_CLASS: return load(double{});
        case mxSINGLE_CLASS: return load(float{});
        case mxINT8_CLASS: return load(int8_t{});
        case mxUINT8_CLASS: return load(uint8_t{});
        case mxINT16_CLASS: return load(int16_t{});
        case mxUINT16_CLASS: return load(uint16_t{});
        case mxINT32_CLASS: return load(int32_t{});
        case mxUINT32_CLASS: return load(uint32_t{});
        case mxINT64_CLASS: return load(int64_t{});
        case mxUINT64_CLASS: return load(uint64_t{});
        case mxLOGICAL_CLASS: return *p ? 1.0 : 0.0;
        case mxCHAR_CLASS: return load(char16_t{});
        default: return 0.0;
    }
}

}  // namespace

namespace mxhost {

Array StringScalar(const std::string& text) {
    Api api("StringScalar");
    mxArray* a = detail::NewArray(mxOBJECT_CLASS, {1, 1}, "StringScalar");
    a->string_scalar = true;
    a->text = text;
    return Array(a);
}

}  // namespace mxhost

extern "C" {

void* mxMalloc(size_t n) {
    Api api(__func__);
    return mxhost::detail::AllocBuffer(n, false, __func__);
}

void* mxCalloc(size_t n, size_t size) {
    Api api(__func__);
    return mxhost::detail::AllocBuffer(n * size, true, __func__);
}

void* mxRealloc(void* ptr, size_t size) {
    Api api(__func__);
    if (ptr == nullptr) return mxhost::detail::AllocBuffer(size, false, __func__);
    auto it = S().buffers.find(ptr);
    if (it == S().buffers.end()) {
        api.Violation("pointer was not allocated by mxMalloc/mxCalloc/mxRealloc");
        return nullptr;
    }
    mxhost::detail::Buffer b = it->second;
    void* grown = std::realloc(ptr, size == 0 ? 1 : size);
    if (grown == nullptr) std::abort();
    S().buffers.erase(it);
    b.size = size;
    S().buffers.emplace(grown, b);
    return grown;
}

void mxFree(void* ptr) {
    Api api(__func__);
    if (ptr == nullptr) return;
    auto it = S().buffers.find(ptr);
    if (it == S().buffers.end()) {
        api.Violation("pointer was not allocated by mxMalloc/mxCalloc/mxRealloc (or freed twice)");
        return;
    }
    std::free(ptr);
    S().buffers.erase(it);
}

mxArray* mxCreateDoubleScalar(double value) {
    Api api(__func__);
    mxArray* a = mxhost::detail::NewArray(mxDOUBLE_CLASS, {1, 1}, __func__);
    std::memcpy(a->data.get(), &value, sizeof value);
    return a;
}

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag) {
    return CreateNumeric(__func__, {m, n}, mxDOUBLE_CLASS, flag);
}

mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity flag) {
    return CreateNumeric(__func__, {m, n}, classid, flag);
}

mxArray* mxCreateNumericArray(mwSize ndim, const mwSize* dims, mxClassID classid, mxComplexity flag) {
    return CreateNumeric(__func__, DimsOf(ndim, dims), classid, flag);
}

mxArray* mxCreateUninitNumericMatrix(size_t m, size_t n, mxClassID classid, mxComplexity flag) {
    return CreateNumeric(__func__, {m, n}, classid, flag, false);
}

mxArray* mxCreateLogicalScalar(mxLogical value) {
    Api api(__func__);
    mxArray* a = mxhost::detail::NewArray(mxLOGICAL_CLASS, {1, 1}, __func__);
    *reinterpret_cast<mxLogical*>(a->data.get()) = value;
    return a;
}

mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n) {
    Api api(__func__);
    return mxhost::detail::NewArray(mxLOGICAL_CLASS, {m, n}, __func__);
}

mxArray* mxCreateLogicalArray(mwSize ndim, const mwSize* dims) {
    Api api(__func__);
    return mxhost::detail::NewArray(mxLOGICAL_CLASS, DimsOf(ndim, dims), __func__);
}

mxArray* mxCreateString(const char* str) {
    Api api(__func__);
    if (str == nullptr) api.Violation("NULL string");
    const std::u16string text = mxhost::detail::Utf8ToUtf16(str != nullptr ? str : "");
    return CreateChars(__func__, text.empty() ? std::vector<mwSize>{0, 0} : std::vector<mwSize>{1, text.size()}, text);
}

mxArray* mxCreateCharArray(mwSize ndim, const mwSize* dims) {
    Api api(__func__);
    return CreateChars(__func__, DimsOf(ndim, dims), u"");
}

mxArray* mxCreateCharMatrixFromStrings(mwSize m, const char** str) {
    Api api(__func__);
    std::vector<std::u16string> rows;
    size_t width = 0;
    for (mwSize r = 0; r < m; ++r) {
        rows.push_back(mxhost::detail::Utf8ToUtf16(str[r] != nullptr ? str[r] : ""));
        width = std::max(width, rows.back().size());
    }
    std::u16string column_major(m * width, u' ');
    for (mwSize r = 0; r < m; ++r)
        for (size_t c = 0; c < rows[r].size(); ++c) column_major[r + c * m] = rows[r][c];
    return CreateChars(__func__, m == 0 ? std::vector<mwSize>{0, 0} : std::vector<mwSize>{m, width}, column_major);
}

mxArray* mxCreateCellMatrix(mwSize m, mwSize n) {
    Api api(__func__);
    return mxhost::detail::NewArray(mxCELL_CLASS, {m, n}, __func__);
}

mxArray* mxCreateCellArray(mwSize ndim, const mwSize* dims) {
    Api api(__func__);
    return mxhost::detail::NewArray(mxCELL_CLASS, DimsOf(ndim, dims), __func__);
}

mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char** fieldnames) {
    return CreateStruct(__func__, {m, n}, nfields, fieldnames);
}

mxArray* mxCreateStructArray(mwSize ndim, const mwSize* dims, int nfields, const char** fieldnames) {
    return CreateStruct(__func__, DimsOf(ndim, dims), nfields, fieldnames);
}

mxArray* mxDuplicateArray(const mxArray* in) {
    Api api(__func__);
    if (in == nullptr) return nullptr;
    const mxArray* a = api.Arg(in);
    return a == nullptr ? nullptr : mxhost::detail::DuplicateTree(a, __func__);
}

void mxDestroyArray(mxArray* pa) {
    Api api(__func__);
    if (pa == nullptr) return;
    mxArray* a = api.Arg(pa);
    if (a == nullptr) return;
    if (a->parent != nullptr) {
        api.Violation("array is stored inside a " + std::string(mxhost::detail::ClassNameOf(a->parent)) +
                      "; destroy the container instead");
        return;
    }
    if (mxhost::detail::IsInput(a)) {
        api.Violation("destroying an input argument (prhs)");
        return;
    }
    mxhost::detail::DestroyTree(a);
}

mxClassID mxGetClassID(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? mxUNKNOWN_CLASS : a->cls;
}

const char* mxGetClassName(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? "unknown" : mxhost::detail::ClassNameOf(a);
}

bool mxIsClass(const mxArray* pa, const char* name) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a != nullptr && name != nullptr && std::strcmp(mxhost::detail::ClassNameOf(a), name) == 0;
}

#define KX_CLASS_PREDICATE(fn, expr)    \
    bool fn(const mxArray* pa) {        \
        Api api(#fn);                   \
        const mxArray* a = api.Arg(pa); \
        return a != nullptr && (expr);  \
    }
KX_CLASS_PREDICATE(mxIsNumeric, IsNumericClass(a->cls))
KX_CLASS_PREDICATE(mxIsDouble, a->cls == mxDOUBLE_CLASS)
KX_CLASS_PREDICATE(mxIsSingle, a->cls == mxSINGLE_CLASS)
KX_CLASS_PREDICATE(mxIsInt8, a->cls == mxINT8_CLASS)
KX_CLASS_PREDICATE(mxIsUint8, a->cls == mxUINT8_CLASS)
KX_CLASS_PREDICATE(mxIsInt16, a->cls == mxINT16_CLASS)
KX_CLASS_PREDICATE(mxIsUint16, a->cls == mxUINT16_CLASS)
KX_CLASS_PREDICATE(mxIsInt32, a->cls == mxINT32_CLASS)
KX_CLASS_PREDICATE(mxIsUint32, a->cls == mxUINT32_CLASS)
KX_CLASS_PREDICATE(mxIsInt64, a->cls == mxINT64_CLASS)
KX_CLASS_PREDICATE(mxIsUint64, a->cls == mxUINT64_CLASS)
KX_CLASS_PREDICATE(mxIsLogical, a->cls == mxLOGICAL_CLASS)
KX_CLASS_PREDICATE(mxIsLogicalScalar, a->cls == mxLOGICAL_CLASS && a->nelem == 1)
KX_CLASS_PREDICATE(mxIsLogicalScalarTrue,
                   a->cls == mxLOGICAL_CLASS && a->nelem == 1 && *reinterpret_cast<const mxLogical*>(a->data.get()))
KX_CLASS_PREDICATE(mxIsChar, a->cls == mxCHAR_CLASS)
KX_CLASS_PREDICATE(mxIsStruct, a->cls == mxSTRUCT_CLASS)
KX_CLASS_PREDICATE(mxIsCell, a->cls == mxCELL_CLASS)
KX_CLASS_PREDICATE(mxIsComplex, a->complex)
KX_CLASS_PREDICATE(mxIsSparse, false)
KX_CLASS_PREDICATE(mxIsEmpty, a->nelem == 0)
KX_CLASS_PREDICATE(mxIsScalar, a->nelem == 1)
#undef KX_CLASS_PREDICATE

size_t mxGetM(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? 0 : a->dims[0];
}

size_t mxGetN(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    if (a == nullptr) return 0;
    size_t n = 1;
    for (size_t i = 1; i < a->dims.size(); ++i) n *= a->dims[i];
    return n;
}

mwSize mxGetNumberOfDimensions(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? 0 : a->dims.size();
}

const mwSize* mxGetDimensions(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? nullptr : a->dims.data();
}

size_t mxGetNumberOfElements(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? 0 : a->nelem;
}

size_t mxGetElementSize(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? 0 : a->elem_size;
}

double mxGetScalar(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    if (a == nullptr || a->nelem == 0 || !a->data) return 0.0;
    return ElementAsDouble(a, 0);
}

double* mxGetPr(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    if (a == nullptr) return nullptr;
    if (a->cls != mxDOUBLE_CLASS) {
        api.Violation(std::string("used on a ") + mxhost::detail::ClassNameOf(a) + " array; use mxGetData");
        return nullptr;
    }
    return reinterpret_cast<double*>(a->data.get());
}

void* mxGetData(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? nullptr : a->data.get();
}

mxDouble* mxGetDoubles(const mxArray* pa) {
    return Typed<mxDouble>(__func__, pa, mxDOUBLE_CLASS);
}
mxSingle* mxGetSingles(const mxArray* pa) {
    return Typed<mxSingle>(__func__, pa, mxSINGLE_CLASS);
}
mxInt8* mxGetInt8s(const mxArray* pa) {
    return Typed<mxInt8>(__func__, pa, mxINT8_CLASS);
}
mxUint8* mxGetUint8s(const mxArray* pa) {
    return Typed<mxUint8>(__func__, pa, mxUINT8_CLASS);
}
mxInt16* mxGetInt16s(const mxArray* pa) {
    return Typed<mxInt16>(__func__, pa, mxINT16_CLASS);
}
mxUint16* mxGetUint16s(const mxArray* pa) {
    return Typed<mxUint16>(__func__, pa, mxUINT16_CLASS);
}
mxInt32* mxGetInt32s(const mxArray* pa) {
    return Typed<mxInt32>(__func__, pa, mxINT32_CLASS);
}
mxUint32* mxGetUint32s(const mxArray* pa) {
    return Typed<mxUint32>(__func__, pa, mxUINT32_CLASS);
}
mxInt64* mxGetInt64s(const mxArray* pa) {
    return Typed<mxInt64>(__func__, pa, mxINT64_CLASS);
}
mxUint64* mxGetUint64s(const mxArray* pa) {
    return Typed<mxUint64>(__func__, pa, mxUINT64_CLASS);
}
mxLogical* mxGetLogicals(const mxArray* pa) {
    return Typed<mxLogical>(__func__, pa, mxLOGICAL_CLASS);
}
mxChar* mxGetChars(const mxArray* pa) {
    return Typed<mxChar>(__func__, pa, mxCHAR_CLASS);
}

char* mxArrayToString(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    if (a == nullptr || a->cls != mxCHAR_CLASS) return nullptr;
    const std::string text = mxhost::detail::Utf16ToUtf8(reinterpret_cast<const char16_t*>(a->data.get()), a->nelem);
    auto* out = static_cast<char*>(mxhost::detail::AllocBuffer(text.size() + 1, false, __func__));
    std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

char* mxArrayToUTF8String(const mxArray* pa) {
    return mxArrayToString(pa);
}

int mxGetString(const mxArray* pa, char* buf, mwSize buflen) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    if (buf == nullptr || buflen == 0) return 1;
    buf[0] = '\0';
    if (a == nullptr || a->cls != mxCHAR_CLASS) return 1;
    const std::string text = mxhost::detail::Utf16ToUtf8(reinterpret_cast<const char16_t*>(a->data.get()), a->nelem);
    const size_t n = std::min<size_t>(text.size(), buflen - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return n == text.size() ? 0 : 1;
}

int mxGetNumberOfFields(const mxArray* pa) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr || a->cls != mxSTRUCT_CLASS ? 0 : static_cast<int>(a->fields.size());
}

const char* mxGetFieldNameByNumber(const mxArray* pa, int n) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    if (a == nullptr || a->cls != mxSTRUCT_CLASS || n < 0 || static_cast<size_t>(n) >= a->fields.size()) return nullptr;
    return a->fields[static_cast<size_t>(n)].c_str();
}

int mxGetFieldNumber(const mxArray* pa, const char* name) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? -1 : FieldIndex(a, name);
}

mxArray* mxGetFieldByNumber(const mxArray* pa, mwIndex i, int fieldnumber) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? nullptr : FieldValue(a, i, fieldnumber);
}

mxArray* mxGetField(const mxArray* pa, mwIndex i, const char* fieldname) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    return a == nullptr ? nullptr : FieldValue(a, i, FieldIndex(a, fieldname));
}

void mxSetFieldByNumber(mxArray* pa, mwIndex i, int fieldnumber, mxArray* value) {
    Api api(__func__);
    mxArray* a = api.Arg(pa);
    if (a != nullptr) SetFieldValue(api, a, i, fieldnumber, value);
}

void mxSetField(mxArray* pa, mwIndex i, const char* fieldname, mxArray* value) {
    Api api(__func__);
    mxArray* a = api.Arg(pa);
    if (a == nullptr) return;
    if (a->cls == mxSTRUCT_CLASS && FieldIndex(a, fieldname) < 0) {
        api.Violation(std::string("no field named '") + (fieldname ? fieldname : "(null)") + "'; add it first");
        return;
    }
    SetFieldValue(api, a, i, FieldIndex(a, fieldname), value);
}

int mxAddField(mxArray* pa, const char* fieldname) {
    Api api(__func__);
    mxArray* a = api.Arg(pa);
    if (a == nullptr || a->cls != mxSTRUCT_CLASS || !IsValidName(fieldname)) return -1;
    if (mxhost::detail::WithinInput(a)) {
        api.Violation("modifies an input argument (prhs)");
        return -1;
    }
    for (const auto& f : a->fields)
        if (f == fieldname) return -1;
    const size_t old_n = a->fields.size();
    std::vector<mxArray*> slots(a->nelem * (old_n + 1), nullptr);
    for (size_t e = 0; e < a->nelem; ++e)
        for (size_t f = 0; f < old_n; ++f) slots[e * (old_n + 1) + f] = a->slots[e * old_n + f];
    a->slots = std::move(slots);
    a->fields.emplace_back(fieldname);
    return static_cast<int>(old_n);
}

void mxRemoveField(mxArray* pa, int fieldnumber) {
    Api api(__func__);
    mxArray* a = api.Arg(pa);
    if (a == nullptr || a->cls != mxSTRUCT_CLASS || fieldnumber < 0 ||
        static_cast<size_t>(fieldnumber) >= a->fields.size())
        return;
    if (mxhost::detail::WithinInput(a)) {
        api.Violation("modifies an input argument (prhs)");
        return;
    }
    const size_t old_n = a->fields.size(), gone = static_cast<size_t>(fieldnumber);
    std::vector<mxArray*> slots;
    for (size_t e = 0; e < a->nelem; ++e)
        for (size_t f = 0; f < old_n; ++f) {
            mxArray* v = a->slots[e * old_n + f];
            if (f != gone)
                slots.push_back(v);
            else if (v != nullptr)
                v->parent = nullptr;  // like mxSetField, the value is left to the caller
        }
    a->slots = std::move(slots);
    a->fields.erase(a->fields.begin() + fieldnumber);
}

mxArray* mxGetCell(const mxArray* pa, mwIndex i) {
    Api api(__func__);
    const mxArray* a = api.Arg(pa);
    if (a == nullptr) return nullptr;
    if (a->cls != mxCELL_CLASS || i >= a->nelem) {
        api.Violation("not a cell array or index out of range");
        return nullptr;
    }
    return a->slots[i];
}

void mxSetCell(mxArray* pa, mwIndex i, mxArray* value) {
    Api api(__func__);
    mxArray* a = api.Arg(pa);
    if (a == nullptr) return;
    if (a->cls != mxCELL_CLASS || i >= a->nelem) {
        api.Violation("not a cell array or index out of range");
        return;
    }
    StoreInto(api, a, i, value);
}

double mxGetInf(void) {
    return std::numeric_limits<double>::infinity();
}
double mxGetNaN(void) {
    return std::numeric_limits<double>::quiet_NaN();
}
double mxGetEps(void) {
    return std::numeric_limits<double>::epsilon();
}
bool mxIsInf(double x) {
    return std::isinf(x);
}
bool mxIsNaN(double x) {
    return std::isnan(x);
}
bool mxIsFinite(double x) {
    return std::isfinite(x);
}

}  // extern "C"
