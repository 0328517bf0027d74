// Internal state of the substitute MATLAB host, shared by the API implementation and
// the harness. Not visible to MEX modules.
#pragma once

#include <setjmp.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "harness.h"
#include "mex.h"

namespace mxhost::detail {

// Per loaded module: what mexLock/mexAtExit act on.
struct ModuleState {
    std::string name;
    int locks = 0;
    void (*exit_handler)() = nullptr;
    std::string exit_output;
    int exit_handler_locks = 0;
    int exit_handler_runs = 0;
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace mxhost::detail

struct mxArray_tag {
    mxClassID cls = mxUNKNOWN_CLASS;
    bool string_scalar = false;      // the MATLAB string class (cls is mxOBJECT_CLASS)
    std::vector<mwSize> dims{0, 0};  // at least two, no trailing singletons past the second
    size_t nelem = 0;
    size_t elem_size = 0;  // of one element; twice the class's size when complex
    bool complex = false;  // numeric only; real and imaginary parts interleaved
    std::unique_ptr<unsigned char, mxhost::detail::FreeDeleter> data;  // numeric/logical/char; null when empty
    std::string text;                                                  // string scalar payload, UTF-8
    std::vector<std::string> fields;                                   // struct field names in creation order
    std::vector<mxArray*> slots;  // struct: element * nfields + field; cell: element
    mxArray* parent = nullptr;    // container that owns this array
    const char* origin = "";      // API function that created it
    uint64_t seq = 0;             // creation order, for stable reports
    uint64_t context = 0;         // MEX call (or exit handler run) that created it; 0 = test-owned
    bool persistent = false;
    mxhost::detail::ModuleState* persistent_module = nullptr;
};

namespace mxhost::detail {

struct Buffer {
    size_t size = 0;
    const char* origin = "";
    uint64_t seq = 0;
    uint64_t context = 0;
    bool persistent = false;
    ModuleState* persistent_module = nullptr;
};

// One MEX call or exit handler run in progress (on the host thread).
struct Context {
    uint64_t serial = 0;
    ModuleState* module = nullptr;
    std::vector<const mxArray*> inputs;
    std::string output;
    std::vector<Warning> warnings;
    bool raised = false;
    std::string error_id, error_message;
};

struct State {
    std::mutex mu;
    std::unordered_map<const mxArray*, std::unique_ptr<mxArray>> arrays;
    std::unordered_map<void*, Buffer> buffers;
    std::vector<std::string> violations;
    uint64_t next_seq = 1;
    uint64_t next_serial = 1;
    Context ctx;         // valid while ctx.serial != 0
    bool armed = false;  // a sigsetjmp target is waiting in `jump`
    sigjmp_buf jump;
};

State& S();
std::atomic<std::thread::id>& HostThread();

// Locks the state and checks the calling thread; every API entry point starts with one.
class Api {
public:
    explicit Api(const char* fn);
    // The array if it is live; otherwise records a violation and returns null.
    mxArray* Arg(const mxArray* pa) const;
    void Violation(const std::string& what) const;
    const char* fn() const { return fn_; }
    bool on_host_thread() const { return on_host_thread_; }

private:
    std::lock_guard<std::mutex> lock_;
    const char* fn_;
    bool on_host_thread_ = true;
};

// Helpers below expect S().mu held.
void AddViolationLocked(const std::string& what);
// Numeric data is zeroed unless `zeroed` is false (mxCreateUninit*).
mxArray* NewArray(mxClassID cls, std::vector<mwSize> dims, const char* origin, bool zeroed = true);
void DestroyTree(mxArray* a);
// Turns a new numeric array complex: interleaved parts, all zero.
void MakeComplex(mxArray* a);
mxArray* DuplicateTree(const mxArray* a, const char* origin);
const mxArray* RootOf(const mxArray* a);
bool IsInput(const mxArray* a);
bool WithinInput(const mxArray* a);  // an input or part of one
std::string DescribeLocked(const mxArray* a);
std::string DimsText(const std::vector<mwSize>& dims);
const char* ClassNameOf(const mxArray* a);
void* AllocBuffer(size_t n, bool zero, const char* origin);
std::u16string Utf8ToUtf16(const char* s);
std::string Utf16ToUtf8(const char16_t* s, size_t n);
std::string VFormat(const char* fmt, va_list ap);

// Context management for the harness (take the lock themselves).
void BeginContext(ModuleState* module, const std::vector<const mxArray*>& inputs);
struct ContextEnd {
    std::vector<mxArray*> accepted;  // outputs now owned by the caller (null where refused)
    std::vector<std::string> leaks;
    std::string output;
    std::vector<Warning> warnings;
    bool raised = false;
    std::string error_id, error_message;
};
ContextEnd EndContext(const std::vector<mxArray*>& outputs);
// Frees what a cleared module left persistent; returns descriptions.
std::vector<std::string> ReleasePersistent(ModuleState* module);

// Arms S().jump for one gateway invocation.
sigjmp_buf* ArmJump();
void Disarm();
// Raises an error in the running context on the host's behalf (as MATLAB itself would).
void RaiseFromHost(const std::string& id, const std::string& message);
bool ContextRaised();
void AddViolation(const std::string& what);

}  // namespace mxhost::detail
