// MexModule (load, call, clear like MATLAB) and the value helpers for tests.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>

#include "host_state.h"

namespace mxhost {
namespace {

using MexFn = void (*)(int, mxArray**, int, const mxArray**);

struct GatewayCall {
    MexFn fn;
    int nlhs;
    mxArray** plhs;
    int nrhs;
    const mxArray** prhs;
};

struct ExitCall {
    void (*fn)();
};

void RunGateway(void* arg) {
    auto* c = static_cast<GatewayCall*>(arg);
    c->fn(c->nlhs, c->plhs, c->nrhs, c->prhs);
}

void RunExitHandler(void* arg) {
    static_cast<ExitCall*>(arg)->fn();
}

// Modules whose exit handler locked them: they said they must not be
// unloaded, and may have kept themselves mapped (RTLD_NODELETE) for the
// rest of the process.
std::set<std::string>& AskedToStay() {
    static std::set<std::string> paths;
    return paths;
}

void RunCatching(void (*body)(void*), void* arg) {
    try {
        body(arg);
    } catch (const std::exception& e) {
        detail::AddViolation(std::string("C++ exception escaped the MEX module: ") + e.what());
        detail::RaiseFromHost("mxhost:uncaughtException", e.what());
    } catch (...) {
        detail::AddViolation("C++ exception escaped the MEX module");
        detail::RaiseFromHost("mxhost:uncaughtException", "unknown exception");
    }
}

// Runs body with a sigsetjmp target armed. mexErrMsg* lands back here through
// siglongjmp, abandoning the module's frames; the context records that it raised.
// Nothing in this frame changes between sigsetjmp and the jump.
void Invoke(void (*body)(void*), void* arg) {
    sigjmp_buf* jump = detail::ArmJump();
    if (sigsetjmp(*jump, 0) == 0) RunCatching(body, arg);
    detail::Disarm();
}

std::string BaseName(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    return name.substr(0, name.find('.'));
}

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what);
}

void StoreScalar(mxArray* a, double v) {
    void* p = mxGetData(a);
    auto put = [p](auto x) { std::memcpy(p, &x, sizeof x); };
    switch (mxGetClassID(a)) {
        case mxDOUBLE_CLASS: put(v); break;
        case mxSINGLE_CLASS: put(static_cast<float>(v)); break;
        case mxINT8_CLASS: put(static_cast<int8_t>(v)); break;
        case mxUINT8_CLASS: put(static_cast<uint8_t>(v)); break;
        case mxINT16_CLASS: put(static_cast<int16_t>(v)); break;
        case mxUINT16_CLASS: put(static_cast<uint16_t>(v)); break;
        case mxINT32_CLASS: put(static_cast<int32_t>(v)); break;
        case mxUINT32_CLASS: put(static_cast<uint32_t>(v)); break;
        case mxINT64_CLASS: put(static_cast<int64_t>(v)); break;
        case mxUINT64_CLASS: put(static_cast<uint64_t>(v)); break;
        default: break;
    }
}

}  // namespace

// ---- Array / CallResult -------------------------------------------------------------

Array& Array::operator=(Array&& o) noexcept {
    if (this != &o) {
        mxDestroyArray(a_);
        a_ = o.release();
    }
    return *this;
}

Array::~Array() {
    mxDestroyArray(a_);
}

CallResult::CallResult(CallResult&& o) noexcept {
    *this = std::move(o);
}

CallResult& CallResult::operator=(CallResult&& o) noexcept {
    if (this == &o) return *this;
    mxDestroyArray(value);
    for (mxArray* a : more) mxDestroyArray(a);
    ok = o.ok;
    value = std::exchange(o.value, nullptr);
    more = std::move(o.more);
    o.more.clear();
    identifier = std::move(o.identifier);
    message = std::move(o.message);
    leaks = std::move(o.leaks);
    output = std::move(o.output);
    warnings = std::move(o.warnings);
    return *this;
}

CallResult::~CallResult() {
    mxDestroyArray(value);
    for (mxArray* a : more) mxDestroyArray(a);
}

// ---- MexModule ----------------------------------------------------------------------

struct MexModule::Impl {
    std::string path;
    void* handle = nullptr;
    MexFn fn = nullptr;
    detail::ModuleState state;

    void Load() {
        dlerror();
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) Fail("cannot load MEX module " + path + ": " + dlerror());
        fn = reinterpret_cast<MexFn>(dlsym(handle, "mexFunction"));
        if (fn == nullptr) {
            dlclose(handle);
            handle = nullptr;
            Fail("MEX module " + path + " exports no mexFunction");
        }
        state.locks = 0;
        state.exit_handler = nullptr;
    }
};

MexModule::MexModule(std::string path) : impl_(std::make_unique<Impl>()) {
    impl_->path = std::move(path);
    impl_->state.name = BaseName(impl_->path);
    impl_->Load();
}

MexModule::~MexModule() {
    ForceClear();
}

CallResult MexModule::Call(int nlhs, std::vector<const mxArray*> args) {
    if (impl_->handle == nullptr) impl_->Load();
    std::vector<mxArray*> plhs(static_cast<size_t>(std::max(nlhs, 1)), nullptr);
    GatewayCall call{impl_->fn, nlhs, plhs.data(), static_cast<int>(args.size()), args.data()};
    detail::BeginContext(&impl_->state, args);
    Invoke(&RunGateway, &call);

    std::vector<mxArray*> outputs;
    if (!detail::ContextRaised()) {
        if (std::count(plhs.begin(), plhs.begin() + nlhs, nullptr) > 0)
            detail::RaiseFromHost(
                "MATLAB:unassignedOutputs",
                "One or more output arguments not assigned during call to \"" + impl_->state.name + "\".");
        else
            outputs = plhs;
    }
    detail::ContextEnd end = detail::EndContext(outputs);

    CallResult r;
    r.ok = !end.raised;
    for (size_t i = 0; i < end.accepted.size(); ++i) {
        if (i == 0)
            r.value = end.accepted[0];
        else if (end.accepted[i] != nullptr)
            r.more.push_back(end.accepted[i]);
    }
    r.identifier = std::move(end.error_id);
    r.message = std::move(end.error_message);
    r.leaks = std::move(end.leaks);
    r.output = std::move(end.output);
    r.warnings = std::move(end.warnings);
    return r;
}

CallResult MexModule::Call(const std::string& command) {
    Array cmd = Str(command);
    return Call(1, {cmd});
}

CallResult MexModule::Call(const std::string& command, const mxArray* payload) {
    Array cmd = Str(command);
    return Call(1, {cmd, payload});
}

bool MexModule::Clear() {
    Impl& m = *impl_;
    if (m.handle == nullptr) return true;
    if (m.state.locks > 0) return false;
    m.state.exit_output.clear();
    m.state.exit_handler_locks = 0;
    if (m.state.exit_handler != nullptr) {
        ExitCall exit{m.state.exit_handler};
        ++m.state.exit_handler_runs;
        detail::BeginContext(&m.state, {});
        Invoke(&RunExitHandler, &exit);
        detail::ContextEnd end = detail::EndContext({});
        m.state.exit_output = end.output;
        m.state.exit_handler_locks = m.state.locks;
        for (const auto& w : end.warnings) m.state.exit_output += "Warning: " + w.message + "\n";
        if (end.raised)
            detail::AddViolation(m.state.name + " exit handler raised " + end.error_id + ": " + end.error_message);
        for (const auto& leak : end.leaks) detail::AddViolation(m.state.name + " exit handler left " + leak);
    }
    for (const auto& left : detail::ReleasePersistent(&m.state))
        detail::AddViolation(m.state.name + " cleared with a " + left + " still alive; free it in the exit handler");
    dlclose(m.handle);
    m.handle = nullptr;
    m.fn = nullptr;
    m.state.locks = 0;
    m.state.exit_handler = nullptr;
    if (m.state.exit_handler_locks > 0) {
        AskedToStay().insert(m.path);
    }
    if (void* still = dlopen(m.path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(still);
        if (AskedToStay().count(m.path) == 0) {
            detail::AddViolation(m.state.name +
                                 " stayed loaded after clear (STB_GNU_UNIQUE symbols? build with -fno-gnu-unique and "
                                 "-fvisibility=hidden)");
        }
    }
    return true;
}

void MexModule::ForceClear() {
    impl_->state.locks = 0;
    Clear();
}

bool MexModule::IsLocked() const {
    return impl_->state.locks > 0;
}
int MexModule::LockCount() const {
    return impl_->state.locks;
}
bool MexModule::ExitHandlerRegistered() const {
    return impl_->state.exit_handler != nullptr;
}
bool MexModule::Loaded() const {
    return impl_->handle != nullptr;
}
const std::string& MexModule::Name() const {
    return impl_->state.name;
}
const std::string& MexModule::ExitOutput() const {
    return impl_->state.exit_output;
}
int MexModule::ExitHandlerLocks() const {
    return impl_->state.exit_handler_locks;
}
int MexModule::ExitHandlerRuns() const {
    return impl_->state.exit_handler_runs;
}

// ---- values -------------------------------------------------------------------------

Array Str(const std::string& text) {
    return Array(mxCreateString(text.c_str()));
}

Array Num(double v) {
    return Array(mxCreateDoubleScalar(v));
}

Array Int(mxClassID cls, double v) {
    if (cls < mxDOUBLE_CLASS || cls > mxUINT64_CLASS) Fail("Int(): class " + std::to_string(cls) + " is not numeric");
    Array a(mxCreateNumericMatrix(1, 1, cls, mxREAL));
    StoreScalar(a.get(), v);
    return a;
}

Array Logical(bool v) {
    return Array(mxCreateLogicalScalar(v));
}

Array Empty(mxClassID cls) {
    const mwSize zero[2] = {0, 0};
    switch (cls) {
        case mxLOGICAL_CLASS: return Array(mxCreateLogicalMatrix(0, 0));
        case mxCHAR_CLASS: return Array(mxCreateCharArray(2, zero));
        case mxCELL_CLASS: return Array(mxCreateCellMatrix(0, 0));
        case mxSTRUCT_CLASS: return Array(mxCreateStructMatrix(0, 0, 0, nullptr));
        default:
            if (cls < mxDOUBLE_CLASS || cls > mxUINT64_CLASS) Fail("Empty(): unsupported class " + std::to_string(cls));
            return Array(mxCreateNumericMatrix(0, 0, cls, mxREAL));
    }
}

Array Matrix(size_t rows, size_t cols, const std::vector<double>& column_major) {
    if (column_major.size() != rows * cols) Fail("Matrix(): value count does not match rows x cols");
    Array a(mxCreateDoubleMatrix(rows, cols, mxREAL));
    if (!column_major.empty())
        std::memcpy(mxGetDoubles(a.get()), column_major.data(), column_major.size() * sizeof(double));
    return a;
}

Array Struct(std::initializer_list<FieldInit> fields) {
    std::vector<const char*> names;
    for (const auto& f : fields) names.push_back(f.name.c_str());
    Array s(mxCreateStructMatrix(1, 1, static_cast<int>(names.size()), names.data()));
    for (const auto& f : fields) mxSetField(s.get(), 0, f.name.c_str(), f.value.release());
    return s;
}

Array Cell(std::initializer_list<Item> items) {
    Array c(mxCreateCellMatrix(1, items.size()));
    size_t i = 0;
    for (const auto& item : items) mxSetCell(c.get(), i++, item.value.release());
    return c;
}

// ---- readers ------------------------------------------------------------------------

const mxArray* Field(const mxArray* v, const std::string& name) {
    if (v == nullptr || !mxIsStruct(v)) Fail("Field('" + name + "'): not a struct: " + Describe(v));
    if (mxGetNumberOfElements(v) == 0) Fail("Field('" + name + "'): empty struct array");
    if (mxGetFieldNumber(v, name.c_str()) < 0) Fail("no field '" + name + "' in " + Describe(v));
    return mxGetField(v, 0, name.c_str());
}

std::vector<std::string> FieldNames(const mxArray* v) {
    if (v == nullptr || !mxIsStruct(v)) Fail("FieldNames(): not a struct: " + Describe(v));
    std::vector<std::string> names;
    for (int f = 0; f < mxGetNumberOfFields(v); ++f) names.emplace_back(mxGetFieldNameByNumber(v, f));
    return names;
}

std::string AsString(const mxArray* v) {
    detail::Api api("AsString");
    const mxArray* a = v == nullptr ? nullptr : api.Arg(v);
    if (a != nullptr && a->string_scalar) return a->text;
    if (a != nullptr && a->cls == mxCHAR_CLASS && a->dims.size() == 2 && a->dims[0] <= 1)
        return detail::Utf16ToUtf8(reinterpret_cast<const char16_t*>(a->data.get()), a->nelem);
    Fail("AsString(): not a char row or string scalar: " + (a ? detail::DescribeLocked(a) : std::string("[]")));
}

double AsDouble(const mxArray* v) {
    if (v == nullptr || !(mxIsNumeric(v) || mxIsLogical(v)) || mxGetNumberOfElements(v) != 1)
        Fail("AsDouble(): not a numeric scalar: " + Describe(v));
    return mxGetScalar(v);
}

bool AsBool(const mxArray* v) {
    if (v == nullptr || !mxIsLogicalScalar(v)) Fail("AsBool(): not a logical scalar: " + Describe(v));
    return mxIsLogicalScalarTrue(v);
}

std::vector<size_t> Dims(const mxArray* v) {
    if (v == nullptr) Fail("Dims(): NULL array");
    const mwSize* d = mxGetDimensions(v);
    return std::vector<size_t>(d, d + mxGetNumberOfDimensions(v));
}

std::string ClassName(const mxArray* v) {
    if (v == nullptr) Fail("ClassName(): NULL array");
    return mxGetClassName(v);
}

}  // namespace mxhost
