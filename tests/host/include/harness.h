// Harness of the substitute MATLAB host: loads a MEX module the way MATLAB does and
// calls it, tracking what each call leaves behind. Test-side helpers build and read
// mxArray values.
//
// Error raising: mexErrMsgIdAndTxt/mexErrMsgTxt siglongjmp back into MexModule::Call
// (which took the sigsetjmp right before calling mexFunction). The gateway's frames are
// abandoned without unwinding, exactly as under MATLAB, so any C++ object alive in the
// gateway at that point (std::string, std::vector, unique_ptr...) leaks and
// LeakSanitizer reports it at process exit. Arrays and mxMalloc buffers are tracked by
// the host and freed (and reported in CallResult::leaks) instead.
//
// All functions here must run on the thread that runs the calls.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "mex.h"

namespace mxhost {

// Owns one top-level mxArray; destroys it with mxDestroyArray.
class Array {
public:
    Array() = default;
    explicit Array(mxArray* a) : a_(a) {}
    Array(Array&& o) noexcept : a_(o.release()) {}
    Array& operator=(Array&& o) noexcept;
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    ~Array();

    mxArray* get() const { return a_; }
    mxArray* release() { return std::exchange(a_, nullptr); }
    operator const mxArray*() const { return a_; }  // NOLINT: pass straight to Call()
    explicit operator bool() const { return a_ != nullptr; }

private:
    mxArray* a_ = nullptr;
};

struct Warning {
    std::string identifier, message;
};

struct CallResult {
    bool ok = false;                  // mexFunction returned normally
    mxArray* value = nullptr;         // plhs[0] when ok and nlhs >= 1 (or plhs[0] set with nlhs == 0)
    std::vector<mxArray*> more;       // plhs[1..nlhs-1] when ok
    std::string identifier, message;  // of the raised error when !ok
    std::vector<std::string> leaks;   // arrays/buffers the call left over (already freed)
    std::string output;               // everything mexPrintf'd during the call
    std::vector<Warning> warnings;    // mexWarnMsg* during the call

    CallResult() = default;
    CallResult(CallResult&& o) noexcept;
    CallResult& operator=(CallResult&& o) noexcept;
    CallResult(const CallResult&) = delete;
    CallResult& operator=(const CallResult&) = delete;
    ~CallResult();
};

class MexModule {
public:
    // dlopen(RTLD_NOW | RTLD_LOCAL) and look up mexFunction; throws std::runtime_error on failure.
    explicit MexModule(std::string path);
    ~MexModule();  // ForceClear()
    MexModule(const MexModule&) = delete;
    MexModule& operator=(const MexModule&) = delete;

    // Arguments stay owned by the caller. Loads the module first if it was cleared.
    CallResult Call(int nlhs, std::vector<const mxArray*> args);
    // Keeps Call(0, {}) unambiguous (a literal 0 also converts to std::string).
    CallResult Call(int nlhs, std::initializer_list<const mxArray*> args) {
        return Call(nlhs, std::vector<const mxArray*>(args));
    }
    CallResult Call(const std::string& command);                          // nlhs = 1
    CallResult Call(const std::string& command, const mxArray* payload);  // nlhs = 1

    // MATLAB's `clear NAME`: refuses (false) while locked; otherwise runs the exit handler,
    // dlcloses and checks with RTLD_NOLOAD that the object is really gone (a module that
    // stays mapped, e.g. through STB_GNU_UNIQUE symbols, is recorded as a violation, unless
    // its exit handler locked it in this or an earlier clear: it may have pinned itself).
    // Persistent arrays/buffers still alive afterwards are recorded as violations and freed.
    bool Clear();
    void ForceClear();  // `munlock NAME` + `clear NAME`

    bool IsLocked() const;
    int LockCount() const;
    bool ExitHandlerRegistered() const;
    bool Loaded() const;
    const std::string& Name() const;  // what mexFunctionName() returns
    // Text printed or warned by the exit handler during the last Clear().
    const std::string& ExitOutput() const;
    // Locks the exit handler took during the last Clear(). The file is unloaded all the
    // same, as MATLAB does once it has decided to clear it.
    int ExitHandlerLocks() const;
    // Times an exit handler of this module ran, over all loads.
    int ExitHandlerRuns() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Contract violations recorded by the host since the last ClearViolations().
std::vector<std::string> Violations();
void ClearViolations();
// Number of arrays currently alive in the host (all owners).
size_t LiveArrayCount();

// ---- values -------------------------------------------------------------------------
Array Str(const std::string& text);           // 1xN char (0x0 for "")
Array StringScalar(const std::string& text);  // MATLAB string scalar (class "string")
Array Num(double v);
Array Int(mxClassID cls, double v);  // 1x1 of any numeric class
Array Logical(bool v);
Array Empty(mxClassID cls);  // 0x0 of the class (struct: no fields)
Array Matrix(size_t rows, size_t cols, const std::vector<double>& column_major);

// Element of an initializer list that can hand its Array over.
struct Item {
    Item(Array a) : value(std::move(a)) {}  // NOLINT: implicit by design
    mutable Array value;
};
struct FieldInit {
    std::string name;
    mutable Array value;
};
Array Struct(std::initializer_list<FieldInit> fields);  // 1x1, fields in the given order
Array Cell(std::initializer_list<Item> items);          // 1xN

// ---- readers (throw std::runtime_error with a readable message on mismatch) ---------
const mxArray* Field(const mxArray* v, const std::string& name);  // of element 0
std::vector<std::string> FieldNames(const mxArray* v);
std::string AsString(const mxArray* v);  // char row or string scalar, as UTF-8
double AsDouble(const mxArray* v);       // real numeric or logical scalar
bool AsBool(const mxArray* v);           // logical scalar
std::vector<size_t> Dims(const mxArray* v);
std::string ClassName(const mxArray* v);
std::string Describe(const mxArray* v);  // e.g. struct 1x1 {a: 1, b: 'x'}

}  // namespace mxhost
