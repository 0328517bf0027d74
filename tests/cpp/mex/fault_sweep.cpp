// The fault sweep: every SDK operation the gateway calls, in every command
// that reaches it, fails in every way the simulated SDK can script (each
// failing status, null, a null list, a thrown standard exception, a thrown
// non-standard value, a wrong answer to a query) at its first, second and a
// later call. Each case asserts the command's error (identifier and message)
// or that the failure was swallowed, that no array was left behind, and that
// the session stays consistent: status tells the truth, close succeeds, and a
// new connection streams.
//
// What each command calls, in which order, and what each failure turns into
// is written out below from the gateway's documented behaviour; a clean run
// of every scenario first checks the call order itself.
#include "command_names.h"
#include "gateway_fixture.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace kxtest {
namespace {

using mxhost::Field;
using mxhost::Num;
using mxhost::Str;
using mxhost::Struct;

constexpr const char* kHeadset = "SIM SOLA 101";  // SOLA, 8 electrodes, 25 samples per packet
constexpr const char* kFaultText = "sweep fault 50% (\xE2\x82\xAC)";
constexpr const char* kNoDevice = "No device connected. Call kx_connect first.";
constexpr const char* kRuntimeError = "kestrix:mex:runtimeError";
constexpr const char* kNativeException = "kestrix:sdk:nativeException";

// ---- the status tables, as documented -----------------------------------

std::string StatusName(int status) {
    static const char* const kNames[] = {"KX_ERROR_OK",
                                         "KX_ERROR_CONNECTION",
                                         "KX_ERROR_UNSUPPORTED_DEVICE",
                                         "KX_ERROR_WRONG_VALUE",
                                         "KX_ERROR_BLUETOOTH_DISABLED",
                                         "KX_ERROR_BLUETOOTH_ADAPTER_NOT_FOUND",
                                         "KX_ERROR_ADAPTER_OUT_OF_INDEX",
                                         "KX_ERROR_UPDATE_FILE_NOT_FOUND",
                                         "KX_ERROR_UPDATE_INITIATED_UNSUCCESSFULLY",
                                         "KX_ERROR_UPDATE_FAILED_DEVICE_DISCONNECTED",
                                         "KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING",
                                         "KX_ERROR_NO_DEVICES_FOUND",
                                         "KX_ERROR_NOT_ALL_MANAGERS_CLOSED",
                                         "KX_ERROR_CORE_NOT_INITIALIZED",
                                         "KX_ERROR_PATH_NOT_FOUND"};
    return status >= 0 && status <= 14 ? kNames[status] : "KX_ERROR_UNKNOWN";
}

std::string StatusIdentifier(int status) {
    static const char* const kNames[] = {"error",
                                         "connection",
                                         "unsupportedDevice",
                                         "wrongValue",
                                         "bluetoothNotEnabled",
                                         "bluetoothAdapterNotFound",
                                         "adapterOutOfIndex",
                                         "updateFileNotFound",
                                         "updateStartFailed",
                                         "updateDisconnected",
                                         "annotationUnavailableCalibrating",
                                         "noDevicesFound",
                                         "notAllManagersClosed",
                                         "coreNotInitialized",
                                         "pathNotFound"};
    return std::string("kestrix:sdk:") + (status >= 0 && status <= 14 ? kNames[status] : "error");
}

std::string InitStatusName(int status) {
    static const char* const kNames[] = {"KX_INIT_ERROR_UNKNOWN",
                                         "KX_INIT_ERROR_CONFIG_TYPE",
                                         "KX_INIT_ERROR_WRONG_ADAPTER_VALUE",
                                         "KX_INIT_ERROR_INCOMPATIBLE_VERSION",
                                         "KX_INIT_ERROR_NOT_ENABLED",
                                         "KX_INIT_ERROR_NOT_FOUND",
                                         "KX_INIT_ERROR_CONFIG_PARSE",
                                         "KX_INIT_WARNING_ALREADY_INITIALIZED",
                                         "KX_INIT_ERROR_INVALID_PATH"};
    return status >= 0 && status <= 8 ? kNames[status] : "KX_INIT_ERROR_UNKNOWN";
}

std::string InitStatusIdentifier(int status) {
    static const char* const kNames[] = {"initFailed",          "configType",          "wrongAdapterValue",
                                         "incompatibleVersion", "bluetoothNotEnabled", "bluetoothAdapterNotFound",
                                         "configParse",         "initFailed",          "invalidPath"};
    return std::string("kestrix:sdk:") + (status >= 0 && status <= 8 ? kNames[status] : "initFailed");
}

// ---- outcomes -----------------------------------------------------------

enum class Kind { kStatus, kValue, kWrong, kNull, kNullList, kThrow, kThrowEmpty, kThrowUnknown };

struct Outcome {
    Kind kind;
    int value = 0;  // status, value or null-list count

    bool Throws() const { return kind == Kind::kThrow || kind == Kind::kThrowEmpty || kind == Kind::kThrowUnknown; }
    std::string Name() const {
        switch (kind) {
            case Kind::kStatus: return "status " + std::to_string(value);
            case Kind::kValue: return "value " + std::to_string(value);
            case Kind::kWrong: return "wrong answer";
            case Kind::kNull: return "null";
            case Kind::kNullList: return "null list of " + std::to_string(value);
            case Kind::kThrow: return "std exception";
            case Kind::kThrowEmpty: return "std exception without text";
            case Kind::kThrowUnknown: return "non-standard throw";
        }
        return "?";
    }
};

// What a failing operation may do, by the shape of its result.
enum class Shape {
    kGeneralStatus,  // kx_status
    kInitStatus,     // kx_init_status
    kQuery,          // bool
    kCode,           // a byte read as a value (rate code, gain mode, level, count)
    kPointer,        // may return null
    kList,           // out-list with count: null, or null with a count
    kVoid,           // returns nothing: can only throw
};

// A step of a command as documented: the operation, the answer it truly
// gives at that point (used to let an earlier call of the same operation
// pass when a later one is to fail; kNoAnswer where that is impossible), and
// whether it is a poll that may repeat.
constexpr int kNoAnswer = -1;
struct Step {
    const char* op;
    Shape shape;
    int answer = kNoAnswer;
    bool repeats = false;
};

struct Case {
    std::string op;
    Outcome outcome;
    int run = 1;    // the run of the command in which the call happens
    int index = 1;  // which call of op within that run
    const char* position = "first";

    bool Is(const char* name) const { return op == name; }
    // The SDK may still call back: the free failed, or the link could not be closed.
    bool KeepsLock() const {
        return (Is("kx_eeg_manager_free") || Is("kx_eeg_manager_disconnect")) && outcome.Throws();
    }
    bool LeavesManager() const { return Is("kx_eeg_manager_free") && outcome.Throws(); }
};

struct Expectation {
    bool ok = true;
    std::string identifier, message;
    std::function<void(const mxArray*)> check;  // on success
    // State right after the command; -1 leaves it unchecked.
    int manager = -1;
    int core = -1;
    int locked = -1;
    int core_closes = -1;  // kx_core_close calls the command made
};

Expectation Success(std::function<void(const mxArray*)> check = nullptr) {
    Expectation e;
    e.check = std::move(check);
    return e;
}

Expectation Failure(const std::string& identifier, const std::string& message) {
    Expectation e;
    e.ok = false;
    e.identifier = identifier;
    e.message = message;
    return e;
}

// A wrapped call: the exception becomes kestrix:sdk:nativeException naming the operation.
Expectation Native(const std::string& label, const Outcome& outcome) {
    if (outcome.kind == Kind::kThrowUnknown) {
        return Failure(kNativeException, label + " threw an unknown native exception.");
    }
    return Failure(kNativeException,
                   label + " threw native exception: " + (outcome.kind == Kind::kThrowEmpty ? "" : kFaultText));
}

// An unwrapped call: the entry point's generic handler reports it.
Expectation Generic(const Outcome& outcome) {
    if (outcome.kind == Kind::kThrowUnknown) {
        return Failure(kRuntimeError, "Unknown native exception.");
    }
    return Failure(kRuntimeError, outcome.kind == Kind::kThrowEmpty ? "" : kFaultText);
}

Expectation StatusFailure(const char* prefix, int status) {
    return Failure(StatusIdentifier(status), prefix + StatusName(status) + ".");
}

Expectation With(Expectation e, int manager, int core, int locked = -1) {
    e.manager = manager;
    e.core = core;
    e.locked = locked;
    return e;
}

// ---- scenarios ----------------------------------------------------------

enum class State { kFresh, kCore, kConnected, kStreaming };

struct Scenario {
    const char* name;  // the command under test ("clear" runs the exit handler)
    State start;       // where each case starts
    std::function<Array()> payload;
    // Run before every run after the first to restore the start: "" (nothing),
    // "close", "stream" (connect and start) or a command name.
    const char* between;
    std::vector<Step> first_run;
    std::vector<Step> later_run;
    std::function<Expectation(const Case&)> expect;
};

const Step kTeardown[] = {
    {"kx_eeg_manager_set_callback_chunk", Shape::kVoid},
    {"kx_eeg_manager_set_callback_disconnect", Shape::kVoid},
    {"kx_eeg_manager_is_streaming", Shape::kQuery, 1},
    {"kx_eeg_manager_stop_stream", Shape::kGeneralStatus},
    {"kx_eeg_manager_is_connected", Shape::kQuery, 1},
    {"kx_eeg_manager_disconnect", Shape::kVoid},
    {"kx_eeg_manager_free", Shape::kVoid},
};
// The teardown of a manager that is connected but does not stream.
const Step kIdleTeardown[] = {
    {"kx_eeg_manager_set_callback_chunk", Shape::kVoid}, {"kx_eeg_manager_set_callback_disconnect", Shape::kVoid},
    {"kx_eeg_manager_is_streaming", Shape::kQuery, 0},   {"kx_eeg_manager_is_connected", Shape::kQuery, 1},
    {"kx_eeg_manager_disconnect", Shape::kVoid},         {"kx_eeg_manager_free", Shape::kVoid},
};
const Step kNewConnection[] = {
    {"kx_eeg_manager_new", Shape::kPointer},
    {"kx_eeg_manager_set_callback_disconnect", Shape::kVoid},
    {"kx_eeg_manager_connect", Shape::kGeneralStatus},
    {"kx_eeg_manager_is_connected", Shape::kQuery, 1, true},
    {"kx_eeg_manager_get_device_info", Shape::kPointer},
    {"kx_core_device_features_get", Shape::kPointer},
    {"kx_core_device_features_electrode_count", Shape::kCode},
    {"kx_core_device_features_has_accel", Shape::kQuery, 0},
    {"kx_core_device_features_has_gyro", Shape::kQuery, 0},
    {"kx_core_device_features_is_bipolar", Shape::kQuery, 0},
};

template <std::size_t N, typename... More>
std::vector<Step> Steps(const Step (&first)[N], More... more) {
    std::vector<Step> steps(first, first + N);
    (steps.push_back(more), ...);
    return steps;
}

std::vector<Step> Join(std::vector<Step> a, const std::vector<Step>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Step kRequireConnected = {"kx_eeg_manager_is_connected", Shape::kQuery, 1};

// The connection check of a device command, outside any wrapper.
bool RequireConnectedFails(const Case& c, Expectation* e) {
    if (c.Is("kx_eeg_manager_is_connected") && c.index == 1) {
        *e = c.outcome.Throws() ? Generic(c.outcome) : Failure("kestrix:state:notConnected", kNoDevice);
        return true;
    }
    return false;
}

// scan, with a core started for it (temporary) or on the session's core.
Expectation ScanExpectation(const Case& c, bool temporary) {
    const Outcome& o = c.outcome;
    const int core = temporary ? 0 : 1;
    const int locked = temporary ? 0 : 1;
    auto devices = [](std::size_t n) {
        return [n](const mxArray* r) {
            EXPECT_EQ(mxhost::Dims(Field(r, "devices")), (std::vector<std::size_t>{n, 1}));
        };
    };
    if (c.Is("kx_core_init")) {
        if (o.kind == Kind::kStatus && o.value == 7) {
            return With(Success(devices(2)), 0, core, locked);
        }
        return With(o.Throws() ? Native("kx_core_init", o)
                               : Failure(InitStatusIdentifier(o.value),
                                         "Temporary kx_core_init failed with status " + InitStatusName(o.value) + "."),
                    0, core, locked);
    }
    if (c.Is("kx_core_close")) {
        return With(Success(devices(2)), 0, core, locked);
    }
    if (o.Throws()) {
        return With(Native("kx_core_scan", o), 0, core, locked);
    }
    if (o.kind == Kind::kNullList) {
        // Rows announced without a list cannot be read.
        return With(Failure(kRuntimeError, "kx_core_scan returned null."), 0, core, locked);
    }
    if (o.kind == Kind::kNull || o.value == 11) {
        return With(Success(devices(0)), 0, core, locked);
    }
    return With(StatusFailure("kx_core_scan failed with status ", o.value), 0, core, locked);
}

Array DeviceName() {
    return Struct({{"device_name", Str(kHeadset)}});
}

// The session commands and the exit handler ("clear").
std::vector<Scenario> SessionScenarios() {
    std::vector<Scenario> all;

    // -- the session queries: a failing query reads as false, never as an error
    for (const char* command : {"status", "ping"}) {
        all.push_back(
            {command,
             State::kStreaming,
             nullptr,
             "",
             {{"kx_eeg_manager_is_connected", Shape::kQuery, 1}, {"kx_eeg_manager_is_streaming", Shape::kQuery, 1}},
             {{"kx_eeg_manager_is_connected", Shape::kQuery, 1}, {"kx_eeg_manager_is_streaming", Shape::kQuery, 1}},
             [](const Case& c) {
                 const bool link_query = c.Is("kx_eeg_manager_is_connected");
                 return Success([link_query](const mxArray* r) {
                     EXPECT_EQ(B(r, "connected"), !link_query);
                     EXPECT_EQ(B(r, "streaming"), link_query);
                     EXPECT_TRUE(B(r, "manager_present"));
                 });
             }});
    }
    all.push_back(
        {"is_connected", State::kConnected, nullptr, "", {kRequireConnected}, {kRequireConnected}, [](const Case&) {
             return Success([](const mxArray* r) { EXPECT_FALSE(B(r, "connected")); });
         }});
    all.push_back({"is_streaming",
                   State::kStreaming,
                   nullptr,
                   "",
                   {{"kx_eeg_manager_is_streaming", Shape::kQuery, 1}},
                   {{"kx_eeg_manager_is_streaming", Shape::kQuery, 1}},
                   [](const Case&) { return Success([](const mxArray* r) { EXPECT_FALSE(B(r, "streaming")); }); }});

    // -- init: core start, then version and configuration, read unwrapped
    const std::vector<Step> init_steps = {{"kx_core_init", Shape::kInitStatus},
                                          {"kx_core_get_version", Shape::kPointer},
                                          {"kx_core_get_config", Shape::kGeneralStatus}};
    all.push_back(
        {"init", State::kFresh, nullptr, "close", init_steps, init_steps, [](const Case& c) {
             const Outcome& o = c.outcome;
             if (c.Is("kx_core_init")) {
                 if (o.kind == Kind::kStatus && o.value == 7) {
                     return With(Success(), 0, 1, 1);
                 }
                 if (o.Throws()) {
                     return With(Native("kx_core_init", o), 0, 0, 0);
                 }
                 return With(Failure(InitStatusIdentifier(o.value),
                                     "kx_core_init failed with status " + InitStatusName(o.value) + "."),
                             0, 0, 0);
             }
             if (c.Is("kx_core_get_version")) {
                 return With(o.Throws() ? Generic(o) : Failure(kRuntimeError, "kx_core_get_version returned null."), 0,
                             1, 1);
             }
             return With(o.Throws() ? Generic(o) : StatusFailure("kx_core_get_config failed with status ", o.value), 0,
                         1, 1);
         }});

    // -- close and the exit handler: every failure is swallowed
    const std::vector<Step> close_steps = Steps(kTeardown, Step{"kx_core_close", Shape::kVoid});
    all.push_back({"close", State::kStreaming, nullptr, "stream", close_steps, close_steps, [](const Case& c) {
                       return With(Success([](const mxArray* r) {
                                       EXPECT_TRUE(B(r, "closed"));
                                       EXPECT_TRUE(B(r, "disconnected"));
                                       EXPECT_TRUE(B(r, "stopped"));
                                   }),
                                   0, 0, c.KeepsLock() ? 1 : 0);
                   }});
    all.push_back({"clear", State::kStreaming, nullptr, "stream", close_steps, close_steps,
                   [](const Case&) { return Success(); }});
    return all;
}

// Discovery and connection.
std::vector<Scenario> ConnectionScenarios() {
    std::vector<Scenario> all;

    // -- scan, with a core of its own and on a started core
    const auto scan_expect = [](bool temporary) {
        return [temporary](const Case& c) {
            Expectation e = ScanExpectation(c, temporary);
            // A core started for the scan is closed on every way out, unless it never started.
            const bool started = !(c.Is("kx_core_init") && !(c.outcome.kind == Kind::kStatus && c.outcome.value == 7));
            e.core_closes = temporary && started ? 1 : 0;
            return e;
        };
    };
    const std::vector<Step> temporary_scan = {{"kx_core_init", Shape::kInitStatus},
                                              {"kx_core_scan", Shape::kList},
                                              {"kx_core_close", Shape::kVoid}};
    all.push_back({"scan", State::kFresh, nullptr, "", temporary_scan, temporary_scan, scan_expect(true)});
    all.push_back({"scan",
                   State::kCore,
                   nullptr,
                   "",
                   {{"kx_core_scan", Shape::kList}},
                   {{"kx_core_scan", Shape::kList}},
                   scan_expect(false)});

    // -- connect: a first connection (starting the core), then replacing it
    all.push_back(
        {"connect", State::kFresh, DeviceName, "", Join({{"kx_core_init", Shape::kInitStatus}}, Steps(kNewConnection)),
         Join(Steps(kIdleTeardown), Steps(kNewConnection)), [](const Case& c) {
             const Outcome& o = c.outcome;
             auto connected = [](bool info, bool features) {
                 return [info, features](const mxArray* r) {
                     EXPECT_TRUE(B(r, "connected"));
                     EXPECT_EQ(S(r, "status_name"), "success");
                     EXPECT_EQ(mxIsStruct(Field(r, "device_info")), info);
                     EXPECT_EQ(mxIsStruct(Field(r, "device_features")), features);
                 };
             };
             if (c.Is("kx_core_init")) {
                 if (o.kind == Kind::kStatus && o.value == 7) {
                     return With(Success(connected(true, true)), 1, 1, 1);
                 }
                 return With(o.Throws() ? Native("kx_core_init", o)
                                        : Failure(InitStatusIdentifier(o.value),
                                                  "kx_core_init failed with status " + InitStatusName(o.value) + "."),
                             0, 0, 0);
             }
             if (c.Is("kx_eeg_manager_set_callback_chunk") || c.Is("kx_eeg_manager_set_callback_disconnect") ||
                 c.Is("kx_eeg_manager_is_streaming") || c.Is("kx_eeg_manager_is_connected") ||
                 c.Is("kx_eeg_manager_disconnect") || c.Is("kx_eeg_manager_free")) {
                 // Swallowed in the teardown of the old manager and for the new
                 // one; a failing link query during the wait only means another poll.
                 return With(Success(connected(true, true)), 1, 1, 1);
             }
             if (c.Is("kx_eeg_manager_new")) {
                 return With(o.Throws() ? Generic(o) : Failure(kRuntimeError, "kx_eeg_manager_new returned null."), 0,
                             1, 1);
             }
             if (c.Is("kx_eeg_manager_connect")) {
                 if (o.kind == Kind::kThrowEmpty) {
                     // No text: the status is still unset and reported as unknown.
                     return With(StatusFailure("kx_eeg_manager_connect failed with status ", 255), 0, 1, 1);
                 }
                 if (o.Throws()) {
                     return With(Failure(kNativeException,
                                         std::string("kx_eeg_manager_connect threw native exception: ") +
                                             (o.kind == Kind::kThrow ? kFaultText : "unknown native exception")),
                                 0, 1, 1);
                 }
                 return With(StatusFailure("kx_eeg_manager_connect failed with status ", o.value), 0, 1, 1);
             }
             if (c.Is("kx_eeg_manager_get_device_info")) {
                 return With(
                     o.Throws() ? Native("kx_eeg_manager_get_device_info", o) : Success(connected(false, false)), 1, 1,
                     1);
             }
             if (c.Is("kx_core_device_features_get")) {
                 return With(o.Throws() ? Native("kx_core_device_features_get", o) : Success(connected(true, false)), 1,
                             1, 1);
             }
             // The four feature queries are not wrapped.
             return With(o.Throws() ? Generic(o) : Success(connected(true, true)), 1, 1, 1);
         }});

    // -- disconnect: every failure is swallowed
    all.push_back(
        {"disconnect", State::kStreaming, nullptr, "stream",
         Join({{"kx_eeg_manager_is_connected", Shape::kQuery, 1}, {"kx_eeg_manager_is_streaming", Shape::kQuery, 1}},
              Steps(kTeardown)),
         Join({{"kx_eeg_manager_is_connected", Shape::kQuery, 1}, {"kx_eeg_manager_is_streaming", Shape::kQuery, 1}},
              Steps(kTeardown)),
         [](const Case& c) {
             const bool was_connected = !(c.Is("kx_eeg_manager_is_connected") && c.index == 1);
             const bool was_streaming = !(c.Is("kx_eeg_manager_is_streaming") && c.index == 1);
             return With(Success([was_connected, was_streaming](const mxArray* r) {
                             EXPECT_TRUE(B(r, "disconnected"));
                             EXPECT_EQ(B(r, "was_connected"), was_connected);
                             EXPECT_EQ(B(r, "was_streaming"), was_streaming);
                         }),
                         0, 1, 1);
         }});
    return all;
}

// Device information, settings and annotations.
std::vector<Scenario> DeviceScenarios() {
    std::vector<Scenario> all;

    // -- device information
    all.push_back({"get_device_info",
                   State::kConnected,
                   nullptr,
                   "",
                   {kRequireConnected, {"kx_eeg_manager_get_device_info", Shape::kPointer}},
                   {kRequireConnected, {"kx_eeg_manager_get_device_info", Shape::kPointer}},
                   [](const Case& c) {
                       const Outcome& o = c.outcome;
                       // The connection check runs inside the device-info wrapper.
                       if (o.Throws()) {
                           return Native("kx_eeg_manager_get_device_info", o);
                       }
                       if (c.Is("kx_eeg_manager_is_connected")) {
                           return Failure("kestrix:state:notConnected", kNoDevice);
                       }
                       return Failure(kRuntimeError, "kx_eeg_manager_get_device_info returned null.");
                   }});
    const std::vector<Step> features_steps = {kRequireConnected,
                                              {"kx_eeg_manager_get_device_info", Shape::kPointer},
                                              {"kx_core_device_features_get", Shape::kPointer},
                                              {"kx_core_device_features_electrode_count", Shape::kCode},
                                              {"kx_core_device_features_has_accel", Shape::kQuery, 0},
                                              {"kx_core_device_features_has_gyro", Shape::kQuery, 0},
                                              {"kx_core_device_features_is_bipolar", Shape::kQuery, 0}};
    all.push_back(
        {"get_device_features", State::kConnected, nullptr, "", features_steps, features_steps, [](const Case& c) {
             const Outcome& o = c.outcome;
             if (c.Is("kx_eeg_manager_is_connected") || c.Is("kx_eeg_manager_get_device_info")) {
                 if (o.Throws()) {
                     return Native("kx_eeg_manager_get_device_info", o);
                 }
                 return c.Is("kx_eeg_manager_is_connected")
                            ? Failure("kestrix:state:notConnected", kNoDevice)
                            : Failure(kRuntimeError, "kx_eeg_manager_get_device_info returned null.");
             }
             if (c.Is("kx_core_device_features_get")) {
                 return o.Throws() ? Native("kx_core_device_features_get", o)
                                   : Failure(kRuntimeError, "kx_core_device_features_get returned null.");
             }
             if (o.Throws()) {
                 return Generic(o);
             }
             const std::string op = c.op;
             const int value = o.value;
             return Success([op, value](const mxArray* r) {
                 const mxArray* f = Field(r, "device_features");
                 if (op == "kx_core_device_features_electrode_count") {
                     EXPECT_EQ(D(f, "electrode_count"), value);
                 } else {
                     EXPECT_TRUE(B(f, op.substr(std::string("kx_core_device_features_").size()).c_str()));
                 }
             });
         }});
    all.push_back({"get_battery_info",
                   State::kConnected,
                   nullptr,
                   "",
                   {kRequireConnected, {"kx_eeg_manager_get_battery_info", Shape::kCode}},
                   {kRequireConnected, {"kx_eeg_manager_get_battery_info", Shape::kCode}},
                   [](const Case& c) {
                       Expectation e;
                       if (RequireConnectedFails(c, &e)) {
                           return e;
                       }
                       if (c.outcome.Throws()) {
                           return Native("kx_eeg_manager_get_battery_info", c.outcome);
                       }
                       const int level = c.outcome.value;
                       return Success(
                           [level](const mxArray* r) { EXPECT_EQ(D(Field(r, "battery_info"), "level"), level); });
                   }});

    // -- settings: connection, then the streaming check, then the SDK
    struct Setting {
        const char* command;
        const char* streaming_message;
        std::function<Array()> payload;
        std::vector<Step> sdk;
    };
    const Setting settings[] = {
        {"set_channel_enabled",
         "Cannot change channel state while streaming.",
         [] {
             return Struct({{"channel_id", Num(1)}, {"enabled", mxhost::Logical(true)}});
         },
         {{"kx_eeg_manager_set_channel_enabled", Shape::kVoid}}},
        {"set_channel_gain",
         "Cannot change channel gain while streaming.",
         [] {
             return Struct({{"channel_id", Num(1)}, {"gain_mode", Num(4)}});
         },
         {{"kx_multiplier_to_gain_mode", Shape::kCode}, {"kx_eeg_manager_set_channel_gain", Shape::kVoid}}},
        {"set_channel_bias",
         "Cannot change channel bias while streaming.",
         [] {
             return Struct({{"channel_id", Num(1)}, {"polarity", Num(2)}});
         },
         {{"kx_eeg_manager_set_channel_bias", Shape::kVoid}}},
    };
    for (const Setting& setting : settings) {
        const std::vector<Step> steps =
            Join({kRequireConnected, {"kx_eeg_manager_is_streaming", Shape::kQuery, 0}}, setting.sdk);
        const std::string streaming_message = setting.streaming_message;
        all.push_back(
            {setting.command, State::kConnected, setting.payload, "", steps, steps, [streaming_message](const Case& c) {
                 Expectation e;
                 if (RequireConnectedFails(c, &e)) {
                     return e;
                 }
                 if (c.Is("kx_eeg_manager_is_streaming")) {
                     // A query that throws reads as not streaming.
                     return c.outcome.Throws() ? Success() : Failure("kestrix:state:streaming", streaming_message);
                 }
                 if (c.outcome.Throws()) {
                     return Generic(c.outcome);  // the channel calls are not wrapped
                 }
                 // kx_multiplier_to_gain_mode answered a mode outside the table.
                 return Success([](const mxArray* r) {
                     EXPECT_EQ(D(Field(r, "gain_mode"), "value"), 255);
                     EXPECT_EQ(S(Field(r, "gain_mode"), "name"), "UNKNOWN");
                 });
             }});
    }
    const std::vector<Step> rate_steps = {kRequireConnected,
                                          {"kx_eeg_manager_is_streaming", Shape::kQuery, 0},
                                          {"kx_eeg_manager_is_connected", Shape::kQuery, 1},
                                          {"kx_eeg_manager_get_device_info", Shape::kPointer},
                                          {"kx_eeg_manager_set_data_stream_rate", Shape::kGeneralStatus}};
    all.push_back(
        {"set_sample_rate", State::kConnected,
         [] {
             return Struct({{"rate_hz", Num(500)}});
         },
         "", rate_steps, rate_steps,
         [](const Case& c) {
             const Outcome& o = c.outcome;
             Expectation e;
             if (RequireConnectedFails(c, &e)) {
                 return e;
             }
             if (c.Is("kx_eeg_manager_is_streaming")) {
                 return o.Throws() ? Success()
                                   : Failure("kestrix:state:streaming", "Cannot change sample rate while streaming.");
             }
             if (c.Is("kx_eeg_manager_is_connected") || c.Is("kx_eeg_manager_get_device_info")) {
                 if (o.Throws()) {
                     return Native("kx_eeg_manager_get_device_info", o);
                 }
                 return c.Is("kx_eeg_manager_is_connected")
                            ? Failure("kestrix:state:notConnected", kNoDevice)
                            : Failure(kRuntimeError, "kx_eeg_manager_get_device_info returned null.");
             }
             return o.Throws() ? Native("kx_eeg_manager_set_data_stream_rate", o)
                               : StatusFailure("kx_eeg_manager_set_data_stream_rate failed with status ", o.value);
         }});
    const std::vector<Step> load_steps = {kRequireConnected, {"kx_eeg_manager_load_config", Shape::kGeneralStatus}};
    all.push_back({"load_config", State::kConnected, nullptr, "", load_steps, load_steps, [](const Case& c) {
                       Expectation e;
                       if (RequireConnectedFails(c, &e)) {
                           return e;
                       }
                       return c.outcome.Throws()
                                  ? Native("kx_eeg_manager_load_config", c.outcome)
                                  : StatusFailure("kx_eeg_manager_load_config failed with status ", c.outcome.value);
                   }});

    // -- annotations
    const auto annotation = [](const char* command, const char* op, std::function<Array()> payload,
                               std::function<Expectation(const Outcome&)> sdk_failure) {
        const std::vector<Step> steps = {
            kRequireConnected,
            {op, std::string(op) == "kx_eeg_manager_annotate"
                     ? Shape::kGeneralStatus
                     : (std::string(op) == "kx_eeg_manager_get_annotations" ? Shape::kList : Shape::kVoid)}};
        return Scenario{command,
                        State::kConnected,
                        std::move(payload),
                        "",
                        steps,
                        steps,
                        [op, sdk_failure](const Case& c) {
                            Expectation e;
                            if (RequireConnectedFails(c, &e)) {
                                return e;
                            }
                            if (c.outcome.Throws()) {
                                return Native(op, c.outcome);
                            }
                            return sdk_failure(c.outcome);
                        }};
    };
    all.push_back(annotation(
        "annotate", "kx_eeg_manager_annotate",
        [] {
            return Struct({{"message", Str("stimulus")}});
        },
        [](const Outcome& o) { return StatusFailure("kx_eeg_manager_annotate failed with status ", o.value); }));
    all.push_back(annotation("get_annotations", "kx_eeg_manager_get_annotations", nullptr, [](const Outcome& o) {
        if (o.kind == Kind::kNullList) {
            // A count with no array cannot be read.
            return Failure(kRuntimeError, "kx_eeg_manager_get_annotations returned null.");
        }
        return Success([](const mxArray* r) {
            EXPECT_EQ(mxhost::Dims(Field(r, "annotations")), (std::vector<std::size_t>{1, 0}));
            EXPECT_EQ(mxhost::Dims(Field(r, "timestamps")), (std::vector<std::size_t>{0, 0}));
        });
    }));
    all.push_back(annotation("clear_annotations", "kx_eeg_manager_clear_annotations", nullptr,
                             [](const Outcome&) { return Success(); }));
    return all;
}

// Stream control and reading.
std::vector<Scenario> StreamScenarios() {
    std::vector<Scenario> all;

    // -- stream control
    const std::vector<Step> start_steps = {kRequireConnected,
                                           {"kx_eeg_manager_get_sample_frequency", Shape::kCode, 6},
                                           {"kx_eeg_manager_set_callback_chunk", Shape::kVoid},
                                           {"kx_eeg_manager_start_stream", Shape::kGeneralStatus},
                                           {"kx_eeg_manager_is_streaming", Shape::kQuery, 1, true},
                                           {"kx_eeg_manager_get_sample_frequency", Shape::kCode, 6}};
    all.push_back(
        {"start_stream", State::kConnected, nullptr, "stop_stream", start_steps, start_steps, [](const Case& c) {
             const Outcome& o = c.outcome;
             Expectation e;
             if (RequireConnectedFails(c, &e)) {
                 return e;
             }
             if (c.Is("kx_eeg_manager_get_sample_frequency")) {
                 if (o.Throws()) {
                     return Native("kx_eeg_manager_get_sample_frequency", o);
                 }
                 // The answer is the rate read after the stream came up.
                 const double hz = c.index == 2 ? -1.0 : 250.0;
                 return Success([hz](const mxArray* r) { EXPECT_EQ(D(r, "sample_frequency_hz"), hz); });
             }
             if (c.Is("kx_eeg_manager_set_callback_chunk")) {
                 return Native("kx_eeg_manager_set_callback_chunk", o);
             }
             if (c.Is("kx_eeg_manager_start_stream")) {
                 return o.Throws() ? Native("kx_eeg_manager_start_stream", o)
                                   : StatusFailure("kx_eeg_manager_start_stream failed with status ", o.value);
             }
             return Success();  // a poll that fails only means another poll
         }});
    const std::vector<Step> stop_steps = {{"kx_eeg_manager_is_streaming", Shape::kQuery, 1},
                                          {"kx_eeg_manager_stop_stream", Shape::kGeneralStatus},
                                          {"kx_eeg_manager_is_streaming", Shape::kQuery, 0, true},
                                          {"kx_eeg_manager_set_callback_chunk", Shape::kVoid}};
    all.push_back(
        {"stop_stream", State::kStreaming, nullptr, "start_stream", stop_steps, stop_steps, [](const Case& c) {
             const Outcome& o = c.outcome;
             if (c.Is("kx_eeg_manager_is_streaming")) {
                 // The first query reads as not streaming: nothing is stopped.
                 const bool stopped = c.index != 1;
                 return Success([stopped](const mxArray* r) { EXPECT_EQ(B(r, "stopped"), stopped); });
             }
             if (c.Is("kx_eeg_manager_stop_stream")) {
                 return o.Throws() ? Native("kx_eeg_manager_stop_stream", o)
                                   : StatusFailure("kx_eeg_manager_stop_stream failed with status ", o.value);
             }
             return Native("kx_eeg_manager_set_callback_chunk", o);
         }});
    // The data callback: a chunk whose layout query fails is lost or empty, never fatal.
    all.push_back({"read_chunk",
                   State::kStreaming,
                   nullptr,
                   "",
                   {{"kx_eeg_manager_get_stream_channel_data_types", Shape::kList}},
                   {{"kx_eeg_manager_get_stream_channel_data_types", Shape::kList}},
                   [](const Case& c) {
                       if (c.outcome.Throws()) {
                           return Success([](const mxArray* r) { EXPECT_FALSE(B(Field(r, "meta"), "available")); });
                       }
                       return Success([](const mxArray* r) {
                           EXPECT_EQ(D(Field(r, "meta"), "channel_count"), 0);
                           EXPECT_EQ(D(Field(r, "meta"), "sample_count"), 25);
                       });
                   }});
    return all;
}

// Every scenario; together they cover each command of the table once or more.
std::vector<Scenario> AllScenarios() {
    std::vector<Scenario> all;
    for (auto group : {SessionScenarios, ConnectionScenarios, DeviceScenarios, StreamScenarios}) {
        std::vector<Scenario> scenarios = group();
        all.insert(all.end(), scenarios.begin(), scenarios.end());
    }
    return all;
}

// The outcomes an operation can have, from the shape of its result. All of
// them run at the first call; the later calls repeat those that can change
// the path taken (every kind, with one failing status).
std::vector<Outcome> OutcomesOf(const Step& step, const std::string& command) {
    std::vector<Outcome> outcomes;
    switch (step.shape) {
        case Shape::kGeneralStatus:
            for (int status = 1; status <= 15; ++status) {
                // A scripted success is no fault, and 2 is a connect's accepted
                // "incompatible" answer (which would wait out its link).
                if (!(command == "connect" && status == 2)) {
                    outcomes.push_back({Kind::kStatus, status});
                }
            }
            outcomes.push_back({Kind::kStatus, 255});
            break;
        case Shape::kInitStatus:
            for (int status : {1, 2, 3, 4, 5, 6, 7, 8, 9, 255}) {
                outcomes.push_back({Kind::kStatus, status});
            }
            break;
        case Shape::kQuery: outcomes.push_back({Kind::kWrong}); break;
        case Shape::kCode: outcomes.push_back({Kind::kValue, 255}); break;
        case Shape::kPointer: outcomes.push_back({Kind::kNull}); break;
        case Shape::kList:
            outcomes.push_back({Kind::kNull});
            if (std::string(step.op) != "kx_eeg_manager_get_stream_channel_data_types") {
                outcomes.push_back({Kind::kNullList, 3});
            }
            break;
        case Shape::kVoid: break;
    }
    outcomes.push_back({Kind::kThrow});
    outcomes.push_back({Kind::kThrowUnknown});
    if (std::string(step.op) == "kx_eeg_manager_connect") {
        outcomes.push_back({Kind::kThrowEmpty});
    }
    return outcomes;
}

bool RepeatsAtLaterCalls(const Outcome& outcome) {
    return outcome.kind != Kind::kStatus || outcome.value == 1 || outcome.value == 7;
}

// ---- the sweep ----------------------------------------------------------

class FaultSweep : public GatewayTest {
protected:
    void SetUp() override {
        GatewayTest::SetUp();
        ConfigureWorld();
    }

    static void ConfigureWorld() {
        kxsim::SetConnectPlan({0, 0, 0, true, -1});  // the link is up as soon as it is asked for
        kxsim::SetManualStream(true);                // chunks only when a case asks for them
    }

    // The value of a call that must succeed; valid until the next Must. (Only
    // the latest result is kept: the host checks every live array on every
    // call, so results kept for the whole sweep would slow it down.)
    const mxArray* Must(const std::string& command, const Array& payload = Array()) {
        recent_ = payload ? Call(command, payload) : Call(command);
        return Ok(recent_);
    }

    // Brings the session (whatever it is) to `state`.
    void Reach(State state) {
        ASSERT_TRUE(Call("close").ok);
        kxsim::ClearScripts();
        if (state == State::kCore) {
            Must("init");
        } else if (state == State::kConnected || state == State::kStreaming) {
            ASSERT_TRUE(B(Must("connect", DeviceName()), "connected"));
            if (state == State::kStreaming) {
                Must("start_stream");
            }
        }
    }

    void Restore(const Scenario& scenario) {
        const std::string between = scenario.between;
        if (between == "close") {
            Must("close");
        } else if (between == "stream") {
            ASSERT_TRUE(B(Must("connect", DeviceName()), "connected"));
            Must("start_stream");
        } else if (between == "stop_stream" || between == "start_stream") {
            Must(between);
        }
    }

    // One run of the command under test.
    CallResult Run(const Scenario& scenario) {
        const std::string name = scenario.name;
        if (name == "clear") {
            mex().ForceClear();
            CallResult none;
            none.ok = true;
            return none;
        }
        if (name == "read_chunk") {
            EXPECT_TRUE(kxsim::EmitChunks(1));
            return Call("read_chunk");
        }
        if (scenario.payload) {
            Array payload = scenario.payload();
            return Call(name, payload);
        }
        return Call(name);
    }

    // The SDK calls of one clean run, without the data callback's queries
    // (they come from the simulator's stream thread).
    static std::vector<std::string> CommandCalls(const std::string& command) {
        std::vector<std::string> calls;
        for (const std::string& op : kxsim::CallNames()) {
            if (command == "read_chunk" || op != "kx_eeg_manager_get_stream_channel_data_types") {
                calls.push_back(op);
            }
        }
        return calls;
    }

    static ::testing::AssertionResult Follows(const std::vector<std::string>& calls, const std::vector<Step>& steps) {
        std::size_t at = 0;
        for (const Step& step : steps) {
            if (at >= calls.size() || calls[at] != step.op) {
                return ::testing::AssertionFailure() << "expected " << step.op << " at call " << at;
            }
            ++at;
            while (step.repeats && at < calls.size() && calls[at] == step.op) {
                ++at;
            }
        }
        if (at != calls.size()) {
            return ::testing::AssertionFailure() << "unexpected " << calls[at] << " at call " << at;
        }
        return ::testing::AssertionSuccess();
    }

    // Where the k-th call of `op` happens: run and index within the run; a
    // repeating poll counts once. False when there is no such call or the
    // calls before it cannot be answered truthfully by a script.
    static bool Locate(const Scenario& scenario, const std::string& op, int k, Case* c) {
        int seen = 0;
        for (int run = 1; run <= 3; ++run) {
            const std::vector<Step>& steps = run == 1 ? scenario.first_run : scenario.later_run;
            int index = 0;
            bool passable = true;
            for (const Step& step : steps) {
                if (op != step.op) {
                    continue;
                }
                ++index;
                if (++seen == k) {
                    if (index > 1 && !passable) {
                        return false;
                    }
                    c->run = run;
                    c->index = index;
                    return true;
                }
                passable = passable && step.answer != kNoAnswer;
            }
        }
        return false;
    }

    static void Script(const Scenario& scenario, const Case& c) {
        const std::vector<Step>& steps = c.run == 1 ? scenario.first_run : scenario.later_run;
        int index = 0;
        for (const Step& step : steps) {
            if (c.op != step.op) {
                continue;
            }
            if (++index < c.index) {
                kxsim::ScriptStatus(c.op, step.answer);  // this earlier call answers truthfully
                continue;
            }
            const Outcome& o = c.outcome;
            switch (o.kind) {
                case Kind::kStatus:
                case Kind::kValue: kxsim::ScriptStatus(c.op, o.value); break;
                case Kind::kWrong: kxsim::ScriptStatus(c.op, step.answer == 0 ? 1 : 0); break;
                case Kind::kNull: kxsim::ScriptNull(c.op); break;
                case Kind::kNullList: kxsim::ScriptNullList(c.op, o.value); break;
                case Kind::kThrow: kxsim::ScriptThrow(c.op, kFaultText); break;
                case Kind::kThrowEmpty: kxsim::ScriptThrow(c.op, ""); break;
                case Kind::kThrowUnknown: kxsim::ScriptThrowUnknown(c.op); break;
            }
            return;
        }
    }

    static std::string Describe(const Scenario& scenario, const Case& c) {
        return std::string(scenario.name) + ": " + c.op + " " + c.outcome.Name() + " at the " + c.position +
               " call (run " + std::to_string(c.run) + ", call " + std::to_string(c.index) + ")";
    }

    void RunCase(const Scenario& scenario, const Case& c) {
        SCOPED_TRACE(Describe(scenario, c));
        Reach(scenario.start);
        for (int run = 1; run < c.run; ++run) {
            if (run > 1) {
                Restore(scenario);
            }
            CallResult clean = Run(scenario);
            ASSERT_TRUE(clean.ok) << "clean run " << run << ": " << clean.identifier << ": " << clean.message;
        }
        if (c.run > 1) {
            Restore(scenario);
        }
        const int calls_before = kxsim::CountCalls(c.op);
        const int closes_before = kxsim::CountCalls("kx_core_close");
        Script(scenario, c);
        const CallResult result = Run(scenario);
        EXPECT_GE(kxsim::CountCalls(c.op) - calls_before, c.index) << "the scripted call was not reached";
        kxsim::ClearScripts();
        const int core_closes = kxsim::CountCalls("kx_core_close") - closes_before;

        const Expectation expected = scenario.expect(c);
        if (expected.ok) {
            EXPECT_MEX_OK(result);
            if (result.ok && expected.check) {
                expected.check(result.value);
            }
        } else {
            EXPECT_MEX_ERROR(result, expected.identifier, expected.message);
        }
        if (expected.core_closes >= 0) {
            EXPECT_EQ(core_closes, expected.core_closes) << "kx_core_close calls";
        }
        const bool unloaded = std::string(scenario.name) == "clear";
        if (unloaded) {
            EXPECT_EQ(mex().ExitHandlerLocks(), c.KeepsLock() ? 1 : 0);
        }
        CheckConsistent(c, expected, unloaded);
    }

    // status tells the truth, close succeeds, and a new connection streams.
    // A file that was unloaded starts with a fresh session that knows
    // nothing of the manager its predecessor could not free.
    void CheckConsistent(const Case& c, const Expectation& expected, bool unloaded) {
        const mxArray* status = Must("status");
        const bool manager = B(status, "manager_present");
        if (expected.manager >= 0) {
            EXPECT_EQ(manager, expected.manager == 1) << "manager_present";
        }
        if (expected.core >= 0) {
            EXPECT_EQ(B(status, "core_initialized"), expected.core == 1) << "core_initialized";
        }
        if (expected.locked >= 0) {
            EXPECT_EQ(mex().IsLocked(), expected.locked == 1) << "locked";
        }
        if (manager) {
            EXPECT_EQ(B(status, "connected"), kxsim::Connected()) << "connected";
            EXPECT_EQ(B(status, "streaming"), kxsim::Streaming()) << "streaming";
        } else {
            EXPECT_FALSE(B(status, "connected"));
            EXPECT_FALSE(B(status, "streaming"));
        }

        const mxArray* closed = Must("close");
        EXPECT_TRUE(B(closed, "closed"));
        EXPECT_EQ(mex().LockCount(), c.KeepsLock() && !unloaded ? 1 : 0) << "locks after close";
        EXPECT_EQ(kxsim::LiveManagers(), c.LeavesManager() ? 1 : 0) << "managers after close";

        ASSERT_TRUE(B(Must("connect", DeviceName()), "connected"));
        Must("start_stream");
        EXPECT_TRUE(kxsim::EmitChunks(2));
        const mxArray* read = Must("read_chunk", Struct({{"timeout_ms", Num(1000)}}));
        EXPECT_EQ(D(Field(read, "meta"), "chunk_count"), 2);
        EXPECT_EQ(D(Field(read, "meta"), "channel_count"), 8);
        Must("close");
        EXPECT_EQ(kxsim::LiveManagers(), c.LeavesManager() ? 1 : 0);

        if (c.KeepsLock()) {
            // The simulated SDK lets go of the manager it kept; then the file
            // can be unloaded and the next case starts from a fresh load.
            kxsim::Reset();
            ConfigureWorld();
            mex().ForceClear();
        }
    }

    static const Step& StepOf(const Scenario& scenario, const std::string& op) {
        for (const auto* steps : {&scenario.first_run, &scenario.later_run}) {
            for (const Step& step : *steps) {
                if (op == step.op) {
                    return step;
                }
            }
        }
        throw std::logic_error("no step " + op);
    }

    // Runs every case of the scenarios; returns how many ran.
    int Sweep(const std::vector<Scenario>& scenarios) {
        int cases = 0;
        for (const Scenario& scenario : scenarios) {
            CheckCleanRuns(scenario);
            std::vector<std::string> ops;
            for (const auto* steps : {&scenario.first_run, &scenario.later_run}) {
                for (const Step& step : *steps) {
                    if (std::find(ops.begin(), ops.end(), step.op) == ops.end()) {
                        ops.push_back(step.op);
                    }
                }
            }
            for (const std::string& op : ops) {
                const Step& step = StepOf(scenario, op);
                for (const Outcome& outcome : OutcomesOf(step, scenario.name)) {
                    const char* const positions[] = {"first", "second", "later"};
                    for (int k = 1; k <= 3; ++k) {
                        if (k > 1 && !RepeatsAtLaterCalls(outcome)) {
                            continue;
                        }
                        Case c{op, outcome, 1, 1, positions[k - 1]};
                        if (!Locate(scenario, op, k, &c)) {
                            continue;
                        }
                        RunCase(scenario, c);
                        ++cases;
                        if (::testing::Test::HasFatalFailure()) {
                            return cases;
                        }
                    }
                }
            }
        }
        return cases;
    }

    CallResult recent_;

    // A clean first and later run call exactly the documented operations.
    void CheckCleanRuns(const Scenario& scenario) {
        SCOPED_TRACE(std::string(scenario.name) + " clean runs");
        Reach(scenario.start);
        kxsim::ClearCalls();
        CallResult first = Run(scenario);
        EXPECT_MEX_OK(first);
        EXPECT_TRUE(Follows(CommandCalls(scenario.name), scenario.first_run));
        Restore(scenario);
        kxsim::ClearCalls();
        CallResult later = Run(scenario);
        EXPECT_MEX_OK(later);
        EXPECT_TRUE(Follows(CommandCalls(scenario.name), scenario.later_run));
        Reach(State::kFresh);
    }

    void Report(const char* group, int cases) {
        std::printf("fault sweep (%s): %d cases of (operation, outcome, call)\n", group, cases);
        std::fflush(stdout);
        EXPECT_GT(cases, 0);
    }
};

TEST_F(FaultSweep, SessionCommands) {
    Report("session", Sweep(SessionScenarios()));
}

TEST_F(FaultSweep, DiscoveryAndConnection) {
    Report("connection", Sweep(ConnectionScenarios()));
}

TEST_F(FaultSweep, DeviceCommands) {
    Report("device", Sweep(DeviceScenarios()));
}

TEST_F(FaultSweep, StreamCommands) {
    Report("stream", Sweep(StreamScenarios()));
}

// A command added to the table without a scenario would go unswept.
TEST(FaultSweepCoverage, EveryCommandOfTheTableHasAScenario) {
    std::set<std::string> swept;
    for (const Scenario& scenario : AllScenarios()) {
        swept.insert(scenario.name);
    }
    swept.erase("clear");
    const std::vector<std::string> names = CommandNames();
    EXPECT_EQ(swept, std::set<std::string>(names.begin(), names.end()));
}

}  // namespace
}  // namespace kxtest
