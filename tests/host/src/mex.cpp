// The mex* API: errors, warnings, printing, locking and persistence.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "host_state.h"

using mxhost::detail::Api;
using mxhost::detail::S;

namespace {

bool IsValidIdentifier(const std::string& id) {
    bool has_colon = false, at_start = true;
    for (char ch : id) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == ':') {
            if (at_start) return false;
            has_colon = at_start = true;
        } else if (at_start) {
            if (!std::isalpha(c)) return false;
            at_start = false;
        } else if (!std::isalnum(c) && ch != '_' && ch != '-') {
            return false;
        }
    }
    return has_colon && !at_start;
}

// Records the error in the running context and hands back the jump target. With no
// context to return to (outside a call, or on a foreign thread) nothing sane can
// continue, since raising never returns.
sigjmp_buf* PrepareError(const char* fn, const std::string& id, const std::string& message) {
    Api api(fn);
    if (!id.empty() && !IsValidIdentifier(id)) api.Violation("malformed error identifier '" + id + "'");
    if (api.on_host_thread() && S().armed && S().ctx.serial != 0) {
        S().armed = false;
        S().ctx.raised = true;
        S().ctx.error_id = id;
        S().ctx.error_message = message;
        return &S().jump;
    }
    std::fprintf(stderr, "mxhost: %s(%s, %s) raised with no MEX call to return to%s; aborting\n", fn, id.c_str(),
                 message.c_str(), api.on_host_thread() ? "" : " (called off the MATLAB thread)");
    std::fflush(stderr);
    std::abort();
}

void RecordWarning(const char* fn, const std::string& id, const std::string& message) {
    Api api(fn);
    if (!id.empty() && !IsValidIdentifier(id)) api.Violation("malformed warning identifier '" + id + "'");
    if (S().ctx.serial != 0)
        S().ctx.warnings.push_back({id, message});
    else
        std::fprintf(stdout, "Warning: %s\n", message.c_str());
}

mxhost::detail::ModuleState* CurrentModule(const Api& api) {
    if (S().ctx.module == nullptr) api.Violation("called outside a MEX call");
    return S().ctx.module;
}

// mexCallMATLAB's two conversions. Returns an error message, empty on success.
std::string Convert(const char* name, int nlhs, mxArray* plhs[], int nrhs, mxArray* prhs[], std::string* id) {
    Api api("mexCallMATLAB");
    const std::string fn = name != nullptr ? name : "";
    const mxArray* in = nrhs == 1 && prhs != nullptr ? api.Arg(prhs[0]) : nullptr;
    *id = "MATLAB:UndefinedFunction";
    if ((fn != "char" && fn != "string") || in == nullptr || nlhs > 1)
        return "Undefined function '" + fn + "' in the test host (only char(x) and string(x) of text are modelled).";
    mxArray* out = nullptr;
    if (fn == "char" && in->string_scalar) {
        const std::u16string text = mxhost::detail::Utf8ToUtf16(in->text.c_str());
        out = mxhost::detail::NewArray(mxCHAR_CLASS, {text.empty() ? 0u : 1u, text.size()}, "mexCallMATLAB");
        if (!text.empty()) std::memcpy(out->data.get(), text.data(), text.size() * sizeof(char16_t));
    } else if (fn == "string" && in->cls == mxCHAR_CLASS) {
        out = mxhost::detail::NewArray(mxOBJECT_CLASS, {1, 1}, "mexCallMATLAB");
        out->string_scalar = true;
        out->text = mxhost::detail::Utf16ToUtf8(reinterpret_cast<const char16_t*>(in->data.get()), in->nelem);
    } else if ((fn == "char" && in->cls == mxCHAR_CLASS) || (fn == "string" && in->string_scalar)) {
        out = mxhost::detail::DuplicateTree(in, "mexCallMATLAB");
    } else {
        *id = "MATLAB:invalidConversion";
        return "Conversion to " + fn + " from " + mxhost::detail::ClassNameOf(in) + " is not possible.";
    }
    if (nlhs >= 1)
        plhs[0] = out;
    else
        mxhost::detail::DestroyTree(out);  // nobody asked for the result
    return "";
}

}  // namespace

extern "C" {

void mexErrMsgIdAndTxt(const char* identifier, const char* fmt, ...) {
    sigjmp_buf* target;
    {
        va_list ap;
        va_start(ap, fmt);
        const std::string message = mxhost::detail::VFormat(fmt, ap);
        va_end(ap);
        target = PrepareError(__func__, identifier != nullptr ? identifier : "", message);
    }
    siglongjmp(*target, 1);
}

void mexErrMsgTxt(const char* message) {
    sigjmp_buf* target = PrepareError(__func__, "", message != nullptr ? message : "");
    siglongjmp(*target, 1);
}

void mexWarnMsgIdAndTxt(const char* identifier, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const std::string message = mxhost::detail::VFormat(fmt, ap);
    va_end(ap);
    RecordWarning(__func__, identifier != nullptr ? identifier : "", message);
}

void mexWarnMsgTxt(const char* message) {
    RecordWarning(__func__, "", message != nullptr ? message : "");
}

int mexPrintf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const std::string text = mxhost::detail::VFormat(fmt, ap);
    va_end(ap);
    Api api(__func__);
    if (S().ctx.serial != 0)
        S().ctx.output += text;
    else
        std::fputs(text.c_str(), stdout);
    return static_cast<int>(text.size());
}

int mexAtExit(void (*exit_fcn)(void)) {
    Api api(__func__);
    if (auto* m = CurrentModule(api)) m->exit_handler = exit_fcn;
    return 0;
}

void mexLock(void) {
    Api api(__func__);
    if (auto* m = CurrentModule(api)) ++m->locks;
}

void mexUnlock(void) {
    Api api(__func__);
    if (auto* m = CurrentModule(api); m != nullptr && m->locks > 0) --m->locks;
}

bool mexIsLocked(void) {
    Api api(__func__);
    auto* m = CurrentModule(api);
    return m != nullptr && m->locks > 0;
}

const char* mexFunctionName(void) {
    Api api(__func__);
    auto* m = CurrentModule(api);
    return m != nullptr ? m->name.c_str() : "";
}

void mexMakeArrayPersistent(mxArray* pa) {
    Api api(__func__);
    mxArray* a = api.Arg(pa);
    if (a == nullptr) return;
    if (a->parent != nullptr || mxhost::detail::IsInput(a)) {
        api.Violation("only a top-level array created by this module can be made persistent");
        return;
    }
    a->persistent = true;
    a->persistent_module = CurrentModule(api);
}

void mexMakeMemoryPersistent(void* ptr) {
    Api api(__func__);
    auto it = S().buffers.find(ptr);
    if (it == S().buffers.end()) {
        api.Violation("pointer was not allocated by mxMalloc/mxCalloc/mxRealloc");
        return;
    }
    it->second.persistent = true;
    it->second.persistent_module = CurrentModule(api);
}

int mexCallMATLAB(int nlhs, mxArray* plhs[], int nrhs, mxArray* prhs[], const char* function_name) {
    sigjmp_buf* target;
    {
        std::string id;
        const std::string error = Convert(function_name, nlhs, plhs, nrhs, prhs, &id);
        if (error.empty()) return 0;
        target = PrepareError(__func__, id, error);
    }
    siglongjmp(*target, 1);
}

}  // extern "C"
