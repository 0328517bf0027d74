// Registry of live arrays and buffers, per-call contexts and violation recording.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host_state.h"

namespace mxhost::detail {
namespace {
constexpr size_t kMaxViolations = 1000;
}

State& S() {
    static State* state = new State();  // never destroyed: modules may call in during exit
    return *state;
}

std::atomic<std::thread::id>& HostThread() {
    static std::atomic<std::thread::id> id{};
    return id;
}

Api::Api(const char* fn) : lock_(S().mu), fn_(fn) {
    const std::thread::id me = std::this_thread::get_id();
    std::thread::id expected{};
    if (!HostThread().compare_exchange_strong(expected, me) && expected != me) {
        on_host_thread_ = false;
        Violation("called from a thread other than the MATLAB thread");
    }
}

mxArray* Api::Arg(const mxArray* pa) const {
    if (pa == nullptr) {
        Violation("NULL mxArray argument");
        return nullptr;
    }
    auto it = S().arrays.find(pa);
    if (it == S().arrays.end()) {
        Violation("argument is not a live mxArray (destroyed, freed at the end of an earlier call, or foreign)");
        return nullptr;
    }
    return it->second.get();
}

void Api::Violation(const std::string& what) const {
    AddViolationLocked(std::string(fn_) + ": " + what);
}

void AddViolationLocked(const std::string& what) {
    auto& v = S().violations;
    if (v.size() < kMaxViolations)
        v.push_back(what);
    else if (v.size() == kMaxViolations)
        v.push_back("... further violations dropped");
}

mxArray* NewArray(mxClassID cls, std::vector<mwSize> dims, const char* origin, bool zeroed) {
    while (dims.size() < 2) dims.push_back(1);
    while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
    auto a = std::make_unique<mxArray>();
    a->cls = cls;
    a->dims = std::move(dims);
    a->nelem = 1;
    for (mwSize d : a->dims) a->nelem *= d;
    switch (cls) {
        case mxDOUBLE_CLASS:
        case mxINT64_CLASS:
        case mxUINT64_CLASS: a->elem_size = 8; break;
        case mxSINGLE_CLASS:
        case mxINT32_CLASS:
        case mxUINT32_CLASS: a->elem_size = 4; break;
        case mxINT16_CLASS:
        case mxUINT16_CLASS:
        case mxCHAR_CLASS: a->elem_size = 2; break;
        case mxINT8_CLASS:
        case mxUINT8_CLASS: a->elem_size = 1; break;
        case mxLOGICAL_CLASS: a->elem_size = sizeof(mxLogical); break;
        default: a->elem_size = sizeof(mxArray*); break;
    }
    if (cls == mxCELL_CLASS)
        a->slots.assign(a->nelem, nullptr);
    else if (cls != mxSTRUCT_CLASS && cls != mxOBJECT_CLASS && a->nelem > 0)
        a->data.reset(static_cast<unsigned char*>(zeroed ? std::calloc(a->nelem, a->elem_size)
                                                         : std::malloc(a->nelem * a->elem_size)));
    a->origin = origin;
    a->seq = S().next_seq++;
    a->context = S().ctx.serial;
    mxArray* raw = a.get();
    S().arrays.emplace(raw, std::move(a));
    return raw;
}

void MakeComplex(mxArray* a) {
    a->complex = true;
    a->elem_size *= 2;
    if (a->nelem > 0) a->data.reset(static_cast<unsigned char*>(std::calloc(a->nelem, a->elem_size)));
}

void DestroyTree(mxArray* a) {
    for (mxArray* child : a->slots)
        if (child != nullptr) DestroyTree(child);
    S().arrays.erase(a);
}

mxArray* DuplicateTree(const mxArray* a, const char* origin) {
    mxArray* copy = NewArray(a->cls, a->dims, origin);
    if (a->complex) MakeComplex(copy);
    copy->string_scalar = a->string_scalar;
    copy->text = a->text;
    copy->fields = a->fields;
    if (a->data) std::memcpy(copy->data.get(), a->data.get(), a->nelem * a->elem_size);
    copy->slots.assign(a->slots.size(), nullptr);
    for (size_t i = 0; i < a->slots.size(); ++i) {
        if (a->slots[i] == nullptr) continue;
        copy->slots[i] = DuplicateTree(a->slots[i], origin);
        copy->slots[i]->parent = copy;
    }
    return copy;
}

const mxArray* RootOf(const mxArray* a) {
    while (a->parent != nullptr) a = a->parent;
    return a;
}

bool IsInput(const mxArray* a) {
    const auto& in = S().ctx.inputs;
    return std::find(in.begin(), in.end(), a) != in.end();
}

bool WithinInput(const mxArray* a) {
    for (; a != nullptr; a = a->parent)
        if (IsInput(a)) return true;
    return false;
}

const char* ClassNameOf(const mxArray* a) {
    if (a->string_scalar) return "string";
    switch (a->cls) {
        case mxCELL_CLASS: return "cell";
        case mxSTRUCT_CLASS: return "struct";
        case mxLOGICAL_CLASS: return "logical";
        case mxCHAR_CLASS: return "char";
        case mxDOUBLE_CLASS: return "double";
        case mxSINGLE_CLASS: return "single";
        case mxINT8_CLASS: return "int8";
        case mxUINT8_CLASS: return "uint8";
        case mxINT16_CLASS: return "int16";
        case mxUINT16_CLASS: return "uint16";
        case mxINT32_CLASS: return "int32";
        case mxUINT32_CLASS: return "uint32";
        case mxINT64_CLASS: return "int64";
        case mxUINT64_CLASS: return "uint64";
        default: return "unknown";
    }
}

std::string DimsText(const std::vector<mwSize>& dims) {
    std::string s;
    for (size_t i = 0; i < dims.size(); ++i) s += (i ? "x" : "") + std::to_string(dims[i]);
    return s;
}

namespace {

std::string ElementText(const mxArray* a, size_t i) {
    char buf[48];
    const unsigned char* p = a->data.get() + i * a->elem_size;
    auto num = [&](auto v) { return std::to_string(v); };
    switch (a->cls) {
        case mxDOUBLE_CLASS: {
            double v;
            std::memcpy(&v, p, 8);
            std::snprintf(buf, sizeof buf, "%.15g", v);
            return buf;
        }
        case mxSINGLE_CLASS: {
            float v;
            std::memcpy(&v, p, 4);
            std::snprintf(buf, sizeof buf, "%.7g", v);
            return buf;
        }
        case mxINT8_CLASS: return num(*reinterpret_cast<const int8_t*>(p));
        case mxUINT8_CLASS: return num(*p);
        case mxINT16_CLASS: {
            int16_t v;
            std::memcpy(&v, p, 2);
            return num(v);
        }
        case mxUINT16_CLASS: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return num(v);
        }
        case mxINT32_CLASS: {
            int32_t v;
            std::memcpy(&v, p, 4);
            return num(v);
        }
        case mxUINT32_CLASS: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return num(v);
        }
        case mxINT64_CLASS: {
            int64_t v;
            std::memcpy(&v, p, 8);
            return num(v);
        }
        case mxUINT64_CLASS: {
            uint64_t v;
            std::memcpy(&v, p, 8);
            return num(v);
        }
        case mxLOGICAL_CLASS: return *p ? "true" : "false";
        default: return "?";
    }
}

std::string ValueOrUnset(const mxArray* a) {
    return a == nullptr ? "[]" : DescribeLocked(a);
}

}  // namespace

std::string DescribeLocked(const mxArray* a) {
    constexpr size_t kShown = 8;
    const std::string shape = DimsText(a->dims);
    if (a->string_scalar) return "\"" + a->text + "\"";
    if (a->cls == mxCHAR_CLASS) {
        const auto* chars = reinterpret_cast<const char16_t*>(a->data.get());
        const std::string text = Utf16ToUtf8(chars, a->nelem);
        return a->dims.size() == 2 && a->dims[0] <= 1 ? "'" + text + "'" : "char " + shape + " '" + text + "'";
    }
    if (a->cls == mxSTRUCT_CLASS) {
        std::string s = "struct";
        if (a->nelem != 1) {
            s += " " + shape + " with fields {";
            for (size_t f = 0; f < a->fields.size(); ++f) s += (f ? ", " : "") + a->fields[f];
            return s + "}";
        }
        s += " {";
        for (size_t f = 0; f < a->fields.size(); ++f)
            s += (f ? ", " : "") + a->fields[f] + ": " + ValueOrUnset(a->slots[f]);
        return s + "}";
    }
    if (a->cls == mxCELL_CLASS) {
        std::string s = "cell " + shape + " {";
        for (size_t i = 0; i < a->nelem && i < kShown; ++i) s += (i ? ", " : "") + ValueOrUnset(a->slots[i]);
        return s + (a->nelem > kShown ? ", ...}" : "}");
    }
    const std::string cls = std::string(a->complex ? "complex " : "") + ClassNameOf(a);
    if (a->nelem == 1 && !a->complex)
        return a->cls == mxDOUBLE_CLASS || a->cls == mxLOGICAL_CLASS ? ElementText(a, 0)
                                                                     : cls + " " + ElementText(a, 0);
    std::string s = cls + " " + shape + " [";
    for (size_t i = 0; i < a->nelem && i < kShown; ++i) s += (i ? " " : "") + ElementText(a, i);
    return s + (a->nelem > kShown ? " ...]" : "]");
}

void* AllocBuffer(size_t n, bool zero, const char* origin) {
    if (n == 0) return nullptr;
    void* p = zero ? std::calloc(n, 1) : std::malloc(n);
    if (p == nullptr) std::abort();
    Buffer b;
    b.size = n;
    b.origin = origin;
    b.seq = S().next_seq++;
    b.context = S().ctx.serial;
    S().buffers.emplace(p, b);
    return p;
}

std::u16string Utf8ToUtf16(const char* s) {
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    while (*p != 0) {
        uint32_t cp;
        int extra;
        if (*p < 0x80) {
            cp = *p;
            extra = 0;
        } else if ((*p & 0xE0) == 0xC0) {
            cp = *p & 0x1F;
            extra = 1;
        } else if ((*p & 0xF0) == 0xE0) {
            cp = *p & 0x0F;
            extra = 2;
        } else if ((*p & 0xF8) == 0xF0) {
            cp = *p & 0x07;
            extra = 3;
        } else {
            out.push_back(u'\uFFFD');
            ++p;
            continue;
        }
        ++p;
        bool valid = true;
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (*p & 0x3F);
        }
        if (!valid || cp > 0x10FFFF) {
            out.push_back(u'\uFFFD');
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(const char16_t* s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string VFormat(const char* fmt, va_list ap) {
    if (fmt == nullptr) return "";
    va_list copy;
    va_copy(copy, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0) return "";
    std::string out(static_cast<size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
    return out;
}

void BeginContext(ModuleState* module, const std::vector<const mxArray*>& inputs) {
    HostThread().store(std::this_thread::get_id());  // the caller of the MEX call is the MATLAB thread
    Api api("mexFunction");
    Context& c = S().ctx;
    c = Context{};
    c.serial = S().next_serial++;
    c.module = module;
    for (const mxArray* in : inputs) {
        if (in != nullptr) api.Arg(in);
        c.inputs.push_back(in);
    }
}

ContextEnd EndContext(const std::vector<mxArray*>& outputs) {
    Api api("mexFunction");
    Context& c = S().ctx;
    ContextEnd end;
    for (size_t i = 0; i < outputs.size(); ++i) {
        mxArray* out = outputs[i];
        const std::string slot = "plhs[" + std::to_string(i) + "] ";
        mxArray* accepted = nullptr;
        if (out == nullptr) {
        } else if (!S().arrays.count(out)) {
            api.Violation(slot + "is not a live mxArray");
        } else if (out->parent != nullptr) {
            api.Violation(slot + "is stored inside another array; return a duplicate");
        } else if (IsInput(out)) {
            api.Violation(slot + "is one of the inputs (prhs); return mxDuplicateArray of it");
        } else if (out->persistent) {
            api.Violation(slot + "is a persistent array; return mxDuplicateArray of it");
        } else if (std::find(end.accepted.begin(), end.accepted.end(), out) != end.accepted.end()) {
            api.Violation(slot + "returns the same array as an earlier output");
        } else {
            accepted = out;
            out->context = 0;  // now the caller's
        }
        end.accepted.push_back(accepted);
    }

    std::vector<mxArray*> orphans;
    for (auto& [key, a] : S().arrays)
        if (a->parent == nullptr && a->context != 0 && !a->persistent) orphans.push_back(a.get());
    std::sort(orphans.begin(), orphans.end(), [](auto* x, auto* y) { return x->seq < y->seq; });
    for (mxArray* a : orphans) {
        end.leaks.push_back(ClassNameOf(a) + std::string(" ") + DimsText(a->dims) + " array from " + a->origin + ": " +
                            DescribeLocked(a));
        DestroyTree(a);
    }

    std::vector<std::pair<void*, Buffer>> stale;
    for (auto& [p, b] : S().buffers)
        if (b.context != 0 && !b.persistent) stale.emplace_back(p, b);
    std::sort(stale.begin(), stale.end(), [](auto& x, auto& y) { return x.second.seq < y.second.seq; });
    for (auto& [p, b] : stale) {
        end.leaks.push_back(std::to_string(b.size) + "-byte buffer from " + b.origin + " not mxFree'd");
        std::free(p);
        S().buffers.erase(p);
    }

    end.output = std::move(c.output);
    end.warnings = std::move(c.warnings);
    end.raised = c.raised;
    end.error_id = std::move(c.error_id);
    end.error_message = std::move(c.error_message);
    c = Context{};
    return end;
}

std::vector<std::string> ReleasePersistent(ModuleState* module) {
    std::lock_guard<std::mutex> lock(S().mu);
    std::vector<std::string> left;
    std::vector<mxArray*> arrays;
    for (auto& [key, a] : S().arrays)
        if (a->parent == nullptr && a->persistent && a->persistent_module == module) arrays.push_back(a.get());
    for (mxArray* a : arrays) {
        left.push_back("persistent " + DescribeLocked(a) + " from " + a->origin);
        DestroyTree(a);
    }
    for (auto it = S().buffers.begin(); it != S().buffers.end();) {
        if (it->second.persistent && it->second.persistent_module == module) {
            left.push_back("persistent " + std::to_string(it->second.size) + "-byte buffer from " + it->second.origin);
            std::free(it->first);
            it = S().buffers.erase(it);
        } else {
            ++it;
        }
    }
    return left;
}

sigjmp_buf* ArmJump() {
    std::lock_guard<std::mutex> lock(S().mu);
    S().armed = true;
    return &S().jump;
}

void Disarm() {
    std::lock_guard<std::mutex> lock(S().mu);
    S().armed = false;
}

void RaiseFromHost(const std::string& id, const std::string& message) {
    std::lock_guard<std::mutex> lock(S().mu);
    S().ctx.raised = true;
    S().ctx.error_id = id;
    S().ctx.error_message = message;
}

bool ContextRaised() {
    std::lock_guard<std::mutex> lock(S().mu);
    return S().ctx.raised;
}

void AddViolation(const std::string& what) {
    std::lock_guard<std::mutex> lock(S().mu);
    AddViolationLocked(what);
}

}  // namespace mxhost::detail

namespace mxhost {

std::vector<std::string> Violations() {
    std::lock_guard<std::mutex> lock(detail::S().mu);
    return detail::S().violations;
}

void ClearViolations() {
    std::lock_guard<std::mutex> lock(detail::S().mu);
    detail::S().violations.clear();
}

size_t LiveArrayCount() {
    std::lock_guard<std::mutex> lock(detail::S().mu);
    return detail::S().arrays.size();
}

std::string Describe(const mxArray* v) {
    detail::Api api("Describe");
    const mxArray* a = v == nullptr ? nullptr : api.Arg(v);
    return a == nullptr ? "[]" : detail::DescribeLocked(a);
}

}  // namespace mxhost
