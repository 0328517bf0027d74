// libFuzzer target: every input is a sequence of steps decoded from its bytes
// and run against the MEX file through the substitute MATLAB host:
//   - hostile calls: 0 to 3 arguments, 0 to 2 outputs, command names and
//     near misses (case, blanks, percent signs, long and non-ASCII text),
//     payloads of every class and shape (struct arrays, empty structs, cells,
//     char matrices, logical, every numeric class, complex, NaN, +-Inf, +-0,
//     values at and beyond the 32-bit range) with real and other field names;
//   - well-formed calls, so that sequences reach every state (connect, start,
//     read, stop, disconnect, close);
//   - the simulated SDK scripted to fail, throw or return null at any call,
//     and its world changed (link plans, stream delays, bursts, layouts);
//   - clear and reload (refused while the file is locked).
// A finding is anything MATLAB would suffer from: a crash or sanitizer
// report, an exception or error that is not one of the gateway's, an array
// left behind, a broken host or SDK contract. The backend is the real one
// unless KX_FUZZ_BACKEND is "mock".
//
// Waits the gateway makes by design (a link that never comes up: 30 s; a
// stream that never starts or stops: 10 s; a read's own timeout) are kept
// short: the scripts and plans never promise a state that does not come,
// and a read waits at most 20 ms.
#include <fuzzer/FuzzedDataProvider.h>

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "command_names.h"
#include "harness.h"
#include "kxsim.h"

namespace {

using mxhost::Array;

const char* const kFields[] = {"device_name", "message", "max_buffer_chunks", "timeout_ms", "drain",
                               "channel_id",  "enabled", "polarity",          "gain_mode",  "rate_hz"};
const char* const kOtherFields[] = {
    "Device_Name", "timeout", "drain_", "x", "payload", "channel", "a_field_name_that_is_rather_long_for_a_payload",
    "rate",        "enabled2"};

const char* const kDevices[] = {"SIM SOLA 101", "SIM ZEM 202",   "SIM ODD 9", "MOCK SOLA 001", "MOCK VELO 002",
                                "sim sola 101", "SIM SOLA 101 ", "",          "SIM%s%n"};

// What a scripted outcome may be for each SDK operation.
enum Cap : unsigned { kStatus = 1, kNull = 2, kNullList = 4 };
struct Operation {
    const char* name;
    unsigned caps;
};
const Operation kOperations[] = {
    {"kx_core_init", kStatus},
    {"kx_core_close", 0},
    {"kx_core_get_version", kNull},
    {"kx_core_get_config", kStatus},
    {"kx_core_scan", kStatus | kNull | kNullList},
    {"kx_core_device_features_get", kNull},
    {"kx_core_device_features_electrode_count", kStatus},
    {"kx_core_device_features_has_accel", kStatus},
    {"kx_core_device_features_has_gyro", kStatus},
    {"kx_core_device_features_is_bipolar", kStatus},
    {"kx_eeg_manager_new", kNull},
    {"kx_eeg_manager_free", 0},
    {"kx_eeg_manager_connect", kStatus},
    {"kx_eeg_manager_disconnect", 0},
    {"kx_eeg_manager_is_connected", kStatus},
    {"kx_eeg_manager_is_streaming", kStatus},
    {"kx_eeg_manager_set_callback_chunk", 0},
    {"kx_eeg_manager_set_callback_disconnect", 0},
    {"kx_eeg_manager_start_stream", kStatus},
    {"kx_eeg_manager_stop_stream", kStatus},
    {"kx_eeg_manager_load_config", kStatus},
    {"kx_eeg_manager_get_sample_frequency", kStatus},
    {"kx_eeg_manager_get_stream_channel_data_types", kNull},
    {"kx_eeg_manager_get_device_info", kNull},
    {"kx_eeg_manager_get_battery_info", kStatus},
    {"kx_eeg_manager_set_channel_enabled", 0},
    {"kx_eeg_manager_set_channel_gain", 0},
    {"kx_eeg_manager_set_channel_bias", 0},
    {"kx_multiplier_to_gain_mode", kStatus},
    {"kx_eeg_manager_set_data_stream_rate", kStatus},
    {"kx_eeg_manager_annotate", kStatus},
    {"kx_eeg_manager_get_annotations", kNull | kNullList},
    {"kx_eeg_manager_clear_annotations", 0},
};

const double kInteresting[] = {0.0,
                               -0.0,
                               1.0,
                               -1.0,
                               0.5,
                               0.9,
                               1.9,
                               2.9,
                               -2.9,
                               2.0,
                               3.0,
                               4.0,
                               5.0,
                               7.0,
                               12.0,
                               13.0,
                               33.0,
                               34.0,
                               250.0,
                               300.0,
                               500.0,
                               1000.0,
                               16000.0,
                               4096.0,
                               4097.0,
                               65535.0,
                               65536.0,
                               2147483647.0,
                               2147483648.0,
                               -2147483648.0,
                               -2147483649.0,
                               4294967296.0,
                               9007199254740993.0,
                               1e300,
                               -1e300,
                               5e-324,
                               std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()};

const char* const kBlanks[] = {" ", "\t", "\n", "  "};
const char* const kPercents[] = {"%s", "%n%n%n", "%d%%", "%"};
const char* const kNonAscii[] = {"st\xC3\xA4tus", "\xE2\x80\x8Bstatus", "status\xF0\x9F\x98\x80", "\xC3\xA9\xC3\xA9",
                                 "\xD0\xB7\xD0\xB0\xD0\xBF"};
const double kRates[] = {250, 500, 1000, 16000, 300, 1, 8000};
const int kPlanStatuses[] = {0, 0, 0, 2, 1, 3, 9};
const uint64_t kPacketSizes[] = {0, 1, 4096, 4097, 0xFFFFFFFFull, 1ull << 40};

const mxClassID kNumericClasses[] = {mxDOUBLE_CLASS, mxSINGLE_CLASS, mxINT8_CLASS,   mxUINT8_CLASS, mxINT16_CLASS,
                                     mxUINT16_CLASS, mxINT32_CLASS,  mxUINT32_CLASS, mxINT64_CLASS, mxUINT64_CLASS};

bool MockBackend() {
    const char* backend = std::getenv("KX_FUZZ_BACKEND");
    return backend != nullptr && std::strcmp(backend, "mock") == 0;
}

const char* ModulePath() {
    return MockBackend() ? KX_FUZZ_MEX_MOCK : KX_FUZZ_MEX_REAL;
}

[[noreturn]] void Finding(const std::string& what) {
    std::fprintf(stderr, "\nkx fuzz finding: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// The load address of the MEX file, 0 when it is not loaded. libFuzzer keeps
// the address of the file's coverage counters from its first load, so the
// file must come back at the same address after every unload.
std::uintptr_t ModuleBase() {
    struct Search {
        const char* path;
        std::uintptr_t base;
    } search{ModulePath(), 0};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            if (info->dlpi_name != nullptr && std::strcmp(info->dlpi_name, s->path) == 0) {
                s->base = info->dlpi_addr;
                return 1;
            }
            return 0;
        },
        &search);
    return search.base;
}

// Stores a double into an element of any numeric class without undefined
// conversions (saturating; NaN becomes 0 in the integer classes).
template <typename T>
T Saturate(double v) {
    if (std::isnan(v)) return T{0};
    if (v <= static_cast<double>(std::numeric_limits<T>::lowest())) return std::numeric_limits<T>::lowest();
    if (v >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(v);
}

void Store(void* data, mxClassID cls, std::size_t index, double v) {
    auto put = [&](auto x) { std::memcpy(static_cast<char*>(data) + index * sizeof x, &x, sizeof x); };
    switch (cls) {
        case mxDOUBLE_CLASS: put(v); break;
        case mxSINGLE_CLASS:
            put(std::isfinite(v) && std::fabs(v) > 3.4e38 ? static_cast<float>(v > 0 ? INFINITY : -INFINITY)
                                                          : static_cast<float>(v));
            break;
        case mxINT8_CLASS: put(Saturate<int8_t>(v)); break;
        case mxUINT8_CLASS: put(Saturate<uint8_t>(v)); break;
        case mxINT16_CLASS: put(Saturate<int16_t>(v)); break;
        case mxUINT16_CLASS: put(Saturate<uint16_t>(v)); break;
        case mxINT32_CLASS: put(Saturate<int32_t>(v)); break;
        case mxUINT32_CLASS: put(Saturate<uint32_t>(v)); break;
        case mxINT64_CLASS: put(Saturate<int64_t>(v)); break;
        case mxUINT64_CLASS: put(Saturate<uint64_t>(v)); break;
        default: break;
    }
}

std::uintptr_t g_first_base = 0;

void CheckAddress() {
    if (ModuleBase() != g_first_base) {
        Finding("the MEX file came back at another address; libFuzzer cannot follow its counters");
    }
}

class Input {
public:
    Input(const uint8_t* data, std::size_t size, mxhost::MexModule& mex) : in_(data, size), mex_(mex) {}

    void Run() {
        for (int step = 0; step < 48 && in_.remaining_bytes() > 0; ++step) {
            Step();
        }
    }

private:
    template <typename T, std::size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[in_.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
    }

    // The command table's names, in table order, so that an input picks the
    // same command as long as the table keeps its order.
    const std::string& PickCommand() {
        static const std::vector<std::string> commands = kxtest::CommandNames();
        return commands[in_.ConsumeIntegralInRange<std::size_t>(0, commands.size() - 1)];
    }

    void Step() {
        switch (in_.ConsumeIntegralInRange<int>(0, 15)) {
            case 0:
            case 1:
            case 2:
            case 3: HostileCall(); break;
            case 4:
            case 5:
            case 6:
            case 7:
            case 8: WellFormedCall(); break;
            case 9:
            case 10: ScriptSdk(); break;
            case 11: ChangeWorld(); break;
            case 12: Emit(); break;
            case 13: Clear(); break;
            case 14: ForceClear(); break;
            default: Sequence(); break;
        }
    }

    // ---- values ---------------------------------------------------------

    std::string Text() {
        switch (in_.ConsumeIntegralInRange<int>(0, 9)) {
            case 0:
            case 1:
            case 2: return PickCommand();
            case 3: {  // one character's case flipped
                std::string t = PickCommand();
                std::size_t i = in_.ConsumeIntegralInRange<std::size_t>(0, t.size() - 1);
                t[i] = static_cast<char>(t[i] ^ 0x20);
                return t;
            }
            case 4: {  // blanks around or inside
                std::string t = PickCommand();
                return in_.ConsumeBool() ? Pick(kBlanks) + t : t + Pick(kBlanks);
            }
            case 5: return PickCommand() + Pick(kPercents);
            case 6: {  // long
                std::string piece = in_.ConsumeBool() ? PickCommand() : "\xE2\x82\xAC";
                std::string t;
                const std::size_t repeat = in_.ConsumeIntegralInRange<std::size_t>(1, 3000);
                for (std::size_t i = 0; i < repeat; ++i) t += piece;
                return t;
            }
            case 7: return Pick(kNonAscii);
            case 8: return Pick(kDevices);
            default: return in_.ConsumeRandomLengthString(64);
        }
    }

    double Number(const std::string& field) {
        double v = in_.ConsumeBool() ? Pick(kInteresting) : in_.ConsumeFloatingPoint<double>();
        if (field == "timeout_ms" && v > 20 && v < 2147483648.0) {
            v = 20;  // a read waits its whole timeout when nothing comes
        }
        return v;
    }

    std::vector<mwSize> Dims() {
        const mwSize shapes[][2] = {{1, 1}, {1, 1}, {1, 1}, {0, 0}, {1, 0}, {0, 1}, {1, 2}, {2, 1}, {2, 3}};
        const auto& s = Pick(shapes);
        return {s[0], s[1]};
    }

    std::string FieldName() {
        if (in_.ConsumeBool()) return Pick(kFields);
        if (in_.ConsumeBool()) return Pick(kOtherFields);
        std::string name = "f";
        for (char c : in_.ConsumeRandomLengthString(20)) {
            name += std::isalnum(static_cast<unsigned char>(c)) || c == '_' ? c : 'x';
        }
        return name.substr(0, 63);
    }

    Array Struct(int depth, mwSize rows, mwSize cols) {
        std::vector<std::string> names;
        const int fields = in_.ConsumeIntegralInRange<int>(0, 4);
        for (int f = 0; f < fields; ++f) {
            std::string name = FieldName();
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        }
        std::vector<const char*> pointers;
        for (const auto& n : names) pointers.push_back(n.c_str());
        Array s(mxCreateStructMatrix(rows, cols, static_cast<int>(pointers.size()), pointers.data()));
        for (mwSize i = 0; i < rows * cols; ++i) {
            for (const auto& n : names) {
                if (in_.ConsumeIntegralInRange<int>(0, 5) != 0) {
                    mxSetField(s.get(), i, n.c_str(), Value(depth + 1, n).release());
                }
            }
        }
        return s;
    }

    Array Value(int depth, const std::string& field = "") {
        switch (in_.ConsumeIntegralInRange<int>(0, depth >= 2 ? 7 : 11)) {
            case 0:
            case 1: return Array(mxCreateDoubleScalar(Number(field)));
            case 2: {
                const mxClassID cls = Pick(kNumericClasses);
                const auto dims = Dims();
                const bool complex = in_.ConsumeIntegralInRange<int>(0, 4) == 0;
                Array a(mxCreateNumericArray(dims.size(), dims.data(), cls, complex ? mxCOMPLEX : mxREAL));
                const std::size_t parts = mxGetNumberOfElements(a.get()) * (complex ? 2 : 1);
                for (std::size_t i = 0; i < parts; ++i) Store(mxGetData(a.get()), cls, i, Number(field));
                return a;
            }
            case 3: {
                const auto dims = Dims();
                Array a(mxCreateLogicalArray(dims.size(), dims.data()));
                for (std::size_t i = 0; i < mxGetNumberOfElements(a.get()); ++i) {
                    mxGetLogicals(a.get())[i] = in_.ConsumeBool();
                }
                return a;
            }
            case 4: return Array(mxCreateString(Text().c_str()));
            case 5: {
                const std::string a = Text().substr(0, 40), b = Text().substr(0, 40);
                const char* rows[] = {a.c_str(), b.c_str()};
                return Array(mxCreateCharMatrixFromStrings(2, rows));
            }
            case 6: return mxhost::Empty(in_.ConsumeBool() ? mxCHAR_CLASS : Pick(kNumericClasses));
            case 7: return mxhost::StringScalar(Text());
            case 8: return Struct(depth, 1, 1);
            case 9: {
                const mwSize shapes[][2] = {{1, 2}, {2, 1}, {0, 0}, {0, 1}, {3, 1}};
                const auto& shape = Pick(shapes);
                return Struct(depth, shape[0], shape[1]);
            }
            case 10: return mxhost::Empty(mxSTRUCT_CLASS);
            default: {
                const mwSize n = in_.ConsumeIntegralInRange<mwSize>(0, 3);
                Array c(mxCreateCellMatrix(1, n));
                for (mwSize i = 0; i < n; ++i) mxSetCell(c.get(), i, Value(depth + 1).release());
                return c;
            }
        }
    }

    // ---- calls ----------------------------------------------------------

    void Invoke(int nlhs, const std::vector<const mxArray*>& args, const std::string& what) {
        mxhost::CallResult r = mex_.Call(nlhs, args);
        if (!r.leaks.empty()) Finding(what + " left " + r.leaks[0]);
        if (!r.ok) {
            static const std::regex kIdentifier("kestrix:(mex|state|sdk):[A-Za-z]+");
            if (!std::regex_match(r.identifier, kIdentifier)) {
                Finding(what + " raised " + r.identifier + ": " + r.message.substr(0, 200));
            }
            if (r.message.empty()) Finding(what + " raised " + r.identifier + " without a message");
        } else if (nlhs >= 1 && (r.value == nullptr || !mxIsStruct(r.value))) {
            Finding(what + " answered something other than a struct");
        }
        CheckContracts(what);
    }

    void CheckContracts(const std::string& what) {
        const auto host = mxhost::Violations();
        if (!host.empty()) Finding(what + ": host contract broken: " + host[0]);
        for (const std::string& v : kxsim::Violations()) {
            // A channel the headset does not have is passed on by the gateway
            // as documented; the SDK's complaint about it is no gateway fault.
            if (v.find(" out of range (") == std::string::npos) {
                Finding(what + ": SDK contract broken: " + v);
            }
        }
        kxsim::ClearViolations();
    }

    void HostileCall() {
        const int nrhs = in_.ConsumeIntegralInRange<int>(0, 3);
        const int nlhs = in_.ConsumeIntegralInRange<int>(0, 2);
        std::vector<Array> owned;
        std::string command;
        for (int i = 0; i < nrhs; ++i) {
            if (i == 0 && in_.ConsumeIntegralInRange<int>(0, 4) != 0) {
                command = Text();
                owned.push_back(Array(mxCreateString(command.c_str())));
            } else {
                owned.push_back(i == 1 && in_.ConsumeBool() ? Struct(0, 1, 1) : Value(0));
            }
        }
        // A command that reads nothing still validates its payload: keep
        // "read_chunk" within a short wait.
        std::vector<const mxArray*> args;
        for (const Array& a : owned) args.push_back(a.get());
        if (in_.ConsumeIntegralInRange<int>(0, 9) == 0 && nrhs >= 1) args.push_back(nullptr);
        Invoke(nlhs, args, "call '" + command.substr(0, 60) + "'");
    }

    Array Payload(const std::string& command) {
        auto number = [](double v) { return Array(mxCreateDoubleScalar(v)); };
        auto field = [](Array& s, const char* name, Array v) { mxSetField(s.get(), 0, name, v.release()); };
        std::vector<const char*> names;
        if (command == "connect")
            names = {"device_name"};
        else if (command == "start_stream")
            names = {"max_buffer_chunks"};
        else if (command == "read_chunk")
            names = {"timeout_ms", "drain"};
        else if (command == "set_channel_enabled")
            names = {"channel_id", "enabled"};
        else if (command == "set_channel_gain")
            names = {"channel_id", "gain_mode"};
        else if (command == "set_channel_bias")
            names = {"channel_id", "polarity"};
        else if (command == "set_sample_rate")
            names = {"rate_hz"};
        else if (command == "annotate")
            names = {"message"};
        if (names.empty() || in_.ConsumeIntegralInRange<int>(0, 7) == 0) return Array();
        Array s(mxCreateStructMatrix(1, 1, static_cast<int>(names.size()), names.data()));
        for (const char* name : names) {
            const std::string n = name;
            if (n == "device_name")
                field(s, name, Array(mxCreateString(Pick(kDevices))));
            else if (n == "message")
                field(s, name, Array(mxCreateString(Text().c_str())));
            else if (n == "max_buffer_chunks")
                field(s, name, number(in_.ConsumeIntegralInRange<int>(1, 300)));
            else if (n == "timeout_ms")
                field(s, name, number(in_.ConsumeIntegralInRange<int>(0, 20)));
            else if (n == "drain" || n == "enabled")
                field(s, name, mxhost::Logical(in_.ConsumeBool()));
            else if (n == "channel_id")
                field(s, name, number(in_.ConsumeIntegralInRange<int>(-1, 40)));
            else if (n == "gain_mode")
                field(s, name, number(in_.ConsumeIntegralInRange<int>(0, 13)));
            else if (n == "polarity")
                field(s, name, number(in_.ConsumeIntegralInRange<int>(0, 4)));
            else if (n == "rate_hz")
                field(s, name, number(Pick(kRates)));
        }
        return s;
    }

    void WellFormed(const std::string& command) {
        Array command_array(mxCreateString(command.c_str()));
        Array payload = Payload(command);
        std::vector<const mxArray*> args = {command_array.get()};
        if (payload) args.push_back(payload.get());
        Invoke(in_.ConsumeIntegralInRange<int>(0, 1), args, command);
    }

    void WellFormedCall() { WellFormed(PickCommand()); }

    // The usual path, so that short inputs reach a stream.
    void Sequence() {
        const char* const steps[] = {"connect",     "start_stream", "read_chunk", "read_chunk",
                                     "stop_stream", "disconnect",   "close"};
        const int from = in_.ConsumeIntegralInRange<int>(0, 2);
        const int to = in_.ConsumeIntegralInRange<int>(from, 6);
        for (int i = from; i <= to; ++i) WellFormed(steps[i]);
    }

    // ---- the simulated SDK ----------------------------------------------

    void ScriptSdk() {
        const Operation& op = Pick(kOperations);
        const std::string name = op.name;
        const int times = in_.ConsumeIntegralInRange<int>(1, 3);
        const int kind = in_.ConsumeIntegralInRange<int>(0, 4);
        if (kind == 0 && (op.caps & kStatus)) {
            int status = in_.ConsumeIntegral<uint8_t>();
            // A scripted call leaves the world untouched: a "successful"
            // connect, start or stop would promise a state that never comes.
            if ((name == "kx_eeg_manager_connect" && (status == 0 || status == 2)) ||
                ((name == "kx_eeg_manager_start_stream" || name == "kx_eeg_manager_stop_stream") && status == 0)) {
                status = 1;
            }
            kxsim::ScriptStatus(name, status, times);
        } else if (kind == 1 && (op.caps & kNull)) {
            kxsim::ScriptNull(name, times);
        } else if (kind == 2 && (op.caps & kNullList)) {
            kxsim::ScriptNullList(name, in_.ConsumeIntegralInRange<int>(1, 5), times);
        } else if (kind == 3) {
            kxsim::ScriptThrowUnknown(name, times);
        } else {
            kxsim::ScriptThrow(name, Text().substr(0, 300), times);
        }
    }

    void ChangeWorld() {
        switch (in_.ConsumeIntegralInRange<int>(0, 8)) {
            case 0: {
                kxsim::ConnectPlan plan;
                plan.status = Pick(kPlanStatuses);
                plan.link_up_after_ms = in_.ConsumeIntegralInRange<int>(0, 20);
                plan.callback_after_ms = in_.ConsumeIntegralInRange<int>(-1, 30);
                plan.callback_success = in_.ConsumeBool();
                // A link that drops before connect has seen it up would make
                // connect wait out its 30 s; later drops are fair game.
                plan.drop_link_after_ms = in_.ConsumeBool() ? -1 : in_.ConsumeIntegralInRange<int>(200, 400);
                kxsim::SetConnectPlan(plan);
                break;
            }
            case 1:
                kxsim::SetStreamingDelays(in_.ConsumeIntegralInRange<int>(0, 30),
                                          in_.ConsumeIntegralInRange<int>(0, 30));
                break;
            case 2: kxsim::SetStartBurst(in_.ConsumeIntegralInRange<int>(0, 40)); break;
            case 3: kxsim::SetManualStream(in_.ConsumeBool()); break;
            case 4: {
                std::vector<int> codes(in_.ConsumeIntegralInRange<std::size_t>(0, 10));
                for (int& c : codes) c = in_.ConsumeIntegralInRange<int>(0, 5);
                kxsim::SetChannelTypes(codes);
                break;
            }
            case 5: {
                std::vector<int> positions(in_.ConsumeIntegralInRange<std::size_t>(0, 3));
                for (int& p : positions) p = in_.ConsumeIntegralInRange<int>(0, 9);
                kxsim::SetNullChannels(positions);
                break;
            }
            case 6:
                kxsim::SetChannelCountChangeAfter(in_.ConsumeIntegralInRange<uint64_t>(0, 5),
                                                  in_.ConsumeIntegralInRange<int>(0, 20));
                break;
            case 7: kxsim::SetInitialRateCode(in_.ConsumeIntegralInRange<int>(0, 8)); break;
            default: {
                auto headsets = kxsim::DefaultHeadsets();
                kxsim::Headset odd;
                odd.name = "SIM ODD 9";
                odd.mac = "00:1A:7D:00:09:09";
                odd.null_mac = in_.ConsumeBool();
                odd.model = in_.ConsumeIntegral<uint8_t>();
                odd.electrodes = in_.ConsumeIntegralInRange<uint8_t>(0, 4);
                odd.sample_per_packet = Pick(kPacketSizes);
                headsets.push_back(odd);
                if (in_.ConsumeBool()) headsets.clear();
                kxsim::SetHeadsets(headsets);
                break;
            }
        }
    }

    void Emit() {
        if (in_.ConsumeIntegralInRange<int>(0, 3) == 0) {
            kxsim::DropLink();
        } else if (kxsim::Streaming()) {  // otherwise nothing could be emitted before the deadline
            kxsim::EmitChunks(in_.ConsumeIntegralInRange<int>(0, 20), 200);
        }
    }

    // ---- clear and reload -----------------------------------------------

    void Clear() {
        const bool was_locked = mex_.IsLocked();
        const bool cleared = mex_.Clear();
        if (cleared == was_locked) {
            Finding("clear of a file that was " + std::string(was_locked ? "" : "not ") + "locked");
        }
        CheckContracts("clear");
        Reload();
    }

    // munlock, then clear: only when the SDK holds no manager the gateway
    // has let go of, whose callbacks would then run into an unloaded file
    // (the gateway keeps the file locked exactly to prevent that).
    void ForceClear() {
        kxsim::ClearScripts();
        mxhost::CallResult status = mex_.Call("status");
        const bool present = status.ok && mxIsLogicalScalarTrue(mxGetField(status.value, 0, "manager_present"));
        if (kxsim::LiveManagers() > (present ? 1 : 0)) {
            return;
        }
        mex_.ForceClear();
        CheckContracts("munlock and clear");
        Reload();
    }

    void Reload() {
        if (mex_.Loaded()) return;
        mxhost::CallResult r = mex_.Call("status");
        if (!r.ok) Finding("status after a reload raised " + r.identifier);
        CheckContracts("reload");
        CheckAddress();
    }

    FuzzedDataProvider in_;
    mxhost::MexModule& mex_;
};

mxhost::MexModule& Module() {
    // Never destroyed: libFuzzer ends the process with exit().
    static mxhost::MexModule* module = [] {
        auto* loaded = new mxhost::MexModule(ModulePath());
        g_first_base = ModuleBase();
        return loaded;
    }();
    return *module;
}

void StartInput(mxhost::MexModule& mex) {
    kxsim::Reset();
    kxsim::SetConnectPlan({0, 0, 0, true, -1});
    if (!mex.Loaded()) mex.Call("status");
    mxhost::ClearViolations();
}

// Leaves nothing behind for the next input: the session is closed with an
// unscripted SDK, the simulator drops whatever it still holds, and the file
// is unloaded (its exit handler run) and loaded again.
void EndInput(mxhost::MexModule& mex) {
    kxsim::ClearScripts();
    kxsim::SetManualStream(false);
    mxhost::CallResult closed = mex.Call("close");
    if (!closed.ok) Finding("close at the end raised " + closed.identifier + ": " + closed.message);
    kxsim::Reset();
    mex.ForceClear();
    kxsim::ClearViolations();  // the exit handler may have seen managers Reset took away
    const auto host = mxhost::Violations();
    if (!host.empty()) Finding("host contract broken at unload: " + host[0]);
    mex.Call("status");
    CheckAddress();
    mxhost::ClearViolations();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    mxhost::MexModule& mex = Module();
    StartInput(mex);
    Input(data, size, mex).Run();
    EndInput(mex);
    return 0;
}
