#include "session/connection.h"

#include "device/device_info.h"
#include "gateway/commands.h"
#include "gateway/failure.h"
#include "gateway/timing.h"
#include "gateway/values.h"
#include "session/core_init.h"
#include "session/session_state.h"

#include <cstddef>
#include <iterator>
#include <thread>
#include <utility>
#include <vector>

namespace kx {
namespace {

constexpr std::chrono::seconds kConnectTimeout{30};

struct MockDevice {
    const char* name;
    const char* mac_address;
};
constexpr MockDevice kMockDevices[] = {
    {"MOCK SOLA 001", "00:11:22:33:44:55"},
    {"MOCK VELO 002", "66:77:88:99:AA:BB"},
};

// Closes a core that scan started for itself, on every way out of the scan.
class TemporaryCoreGuard {
public:
    explicit TemporaryCoreGuard(bool active) : active_(active) {}
    TemporaryCoreGuard(const TemporaryCoreGuard&) = delete;
    TemporaryCoreGuard& operator=(const TemporaryCoreGuard&) = delete;
    ~TemporaryCoreGuard() {
        if (active_) {
            try {
                kx_core_close();
            } catch (...) {
            }
        }
    }

private:
    bool active_;
};

MxPtr MakeScanResult(const kx_device_list_entry* list, std::size_t count) {
    StructBuilder devices({"name", "mac_address"}, count);
    for (std::size_t row = 0; row < count; ++row) {
        devices.Set(row, "name", MakeString(SdkText(list[row].name)));
        devices.Set(row, "mac_address", MakeString(SdkText(list[row].mac_address)));
    }
    return StructBuilder({"devices"}).Set("devices", devices.Release()).Release();
}

MxPtr MakeConnectResult(bool connected, MxPtr features, MxPtr info, const std::string& device_name, kx_status status) {
    const char* status_name = "success";
    const char* message = "Connected successfully.";
    if (status == KX_ERROR_UNSUPPORTED_DEVICE) {
        status_name = "incompatible_stream";
        message = "Device stream is incompatible. Update the firmware.";
    } else if (!connected) {
        status_name = "connection_failed";
        message = "Connection failed.";
    }
    return StructBuilder({"connected", "device_features", "device_info", "device_name", "incompatible_stream",
                          "message", "status", "status_name"})
        .Set("connected", MakeLogical(connected))
        .Set("device_features", std::move(features))
        .Set("device_info", std::move(info))
        .Set("device_name", MakeString(device_name))
        .Set("incompatible_stream", MakeLogical(status == KX_ERROR_UNSUPPORTED_DEVICE))
        .Set("message", MakeString(message))
        .Set("status", MakeDouble(status))
        .Set("status_name", MakeString(status_name))
        .Release();
}

MxPtr MakeDisconnectResult(std::uint64_t drained, bool was_connected, bool was_streaming) {
    return StructBuilder({"disconnected", "drained_chunks", "was_connected", "was_streaming"})
        .Set("disconnected", MakeLogical(true))
        .Set("drained_chunks", MakeDouble(static_cast<double>(drained)))
        .Set("was_connected", MakeLogical(was_connected))
        .Set("was_streaming", MakeLogical(was_streaming))
        .Release();
}

MxPtr HandleMockScan() {
    EnsureCoreInitialized();
    StructBuilder devices({"name", "mac_address"}, std::size(kMockDevices));
    for (std::size_t row = 0; row < std::size(kMockDevices); ++row) {
        devices.Set(row, "name", MakeString(kMockDevices[row].name));
        devices.Set(row, "mac_address", MakeString(kMockDevices[row].mac_address));
    }
    return StructBuilder({"devices"}).Set("devices", devices.Release()).Release();
}

MxPtr HandleRealScan(SessionState& session) {
    bool temporary = false;
    if (!session.core_initialized) {
        const kx_init_status status = CallSdkOrThrow("kx_core_init", [] { return kx_core_init(); });
        if (status != KX_INIT_SUCCESS && status != KX_INIT_WARNING_ALREADY_INITIALIZED) {
            ThrowInitStatus("Temporary kx_core_init failed with status ", status);
        }
        temporary = true;
    }
    // Declared before the list is read: the list and its strings are valid
    // only until the core closes, and the result is built from them first.
    TemporaryCoreGuard guard(temporary);

    const kx_device_list_entry* list = nullptr;
    std::size_t count = 0;
    const kx_status status = CallSdkOrThrow("kx_core_scan", [&] { return kx_core_scan(&list, &count); });
    if (status != KX_ERROR_OK && status != KX_ERROR_NO_DEVICES_FOUND) {
        ThrowSdkStatus("kx_core_scan failed with status ", status);
    }
    // Rows announced without a list cannot be read; answering no headsets
    // would report a failure as success.
    if (list == nullptr && count != 0) {
        ThrowNullResult("kx_core_scan");
    }
    return MakeScanResult(list, count);
}

MxPtr HandleMockConnect(SessionState& session, const std::string& device_name) {
    EnsureCoreInitialized();
    DisconnectMockHeadset(session);
    {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        session.mock_connected = true;
        session.mock_device_name = device_name;
        session.mock_sample_index = 0;
    }
    return MakeConnectResult(true, MakeMockDeviceFeaturesStruct(), MakeMockDeviceInfoStruct(), device_name,
                             KX_ERROR_OK);
}

MxPtr HandleRealConnect(SessionState& session, const std::string& device_name) {
    EnsureCoreInitialized();
    DestroyManagerIfNeeded();

    kx_eeg_manager* manager = kx_eeg_manager_new();
    if (manager == nullptr) {
        ThrowNullResult("kx_eeg_manager_new");
    }
    session.manager.store(manager);
    try {
        kx_eeg_manager_set_callback_disconnect(manager, NoopDisconnectCallback, nullptr);
    } catch (...) {
    }

    const auto wait = std::make_shared<ConnectWaitState>();
    const ConnectAttempt attempt = RunConnectWorker(manager, device_name, wait);
    if (!attempt.error.empty()) {
        DestroyManagerIfNeeded();
        ThrowMex(id::kNativeException, "kx_eeg_manager_connect threw native exception: " + attempt.error);
    }
    if (attempt.status != KX_ERROR_OK && attempt.status != KX_ERROR_UNSUPPORTED_DEVICE) {
        DestroyManagerIfNeeded();
        ThrowSdkStatus("kx_eeg_manager_connect failed with status ", attempt.status);
    }

    const bool connected = WaitForLink(*wait, kConnectTimeout);

    MxPtr info_struct = MakeEmptyDouble();
    MxPtr features_struct = MakeEmptyDouble();
    if (!connected) {
        DestroyManagerIfNeeded();
    } else {
        session.stream_incompatible = attempt.status == KX_ERROR_UNSUPPORTED_DEVICE;
        const kx_device_info* info = CallSdkOrThrow("kx_eeg_manager_get_device_info",
                                                    [manager] { return kx_eeg_manager_get_device_info(manager); });
        if (info != nullptr) {
            info_struct = MakeDeviceInfoStruct(*info, QuerySamplesPerPacket(*info));
            const kx_device_features features =
                CallSdkOrThrow("kx_core_device_features_get", [info] { return kx_core_device_features_get(info); });
            if (features != nullptr) {
                features_struct = MakeDeviceFeaturesStruct(features);
            }
        }
    }
    return MakeConnectResult(connected, std::move(features_struct), std::move(info_struct), device_name,
                             attempt.status);
}

}  // namespace

void ConnectCallback(bool connected, void* user) noexcept {
    if (user == nullptr) {
        return;
    }
    ConnectWaitState& wait = *static_cast<ConnectWaitState*>(user);
    try {
        std::lock_guard<std::mutex> lock(wait.mutex);
        wait.done = true;
        wait.success = connected;
    } catch (...) {
        // Nothing may reach the SDK's thread; the wait still ends on the link
        // state or its deadline.
    }
}

ConnectAttempt RunConnectWorker(kx_eeg_manager* manager, const std::string& device_name,
                                const std::shared_ptr<ConnectWaitState>& wait) {
    SessionState& session = *Session();
    if (session.connect_wait != nullptr) {
        // The manager this record served could not be freed and may still
        // call back into it.
        session.unfreed_connect_waits.push_back(std::move(session.connect_wait));
    }
    session.connect_wait = wait;

    ConnectAttempt attempt;
    ConnectWaitState* user = wait.get();
    std::thread worker([manager, &device_name, user, &attempt]() noexcept {
        try {
            attempt.status = kx_eeg_manager_connect(manager, device_name.c_str(), ConnectCallback, user);
        } catch (const std::exception& error) {
            try {
                attempt.error = error.what();
            } catch (...) {
            }
        } catch (...) {
            try {
                attempt.error = "unknown native exception";
            } catch (...) {
            }
        }
    });
    worker.join();
    return attempt;
}

bool WaitForLink(ConnectWaitState& wait, std::chrono::steady_clock::duration limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (IsConnected()) {
            return true;
        }
        bool failed = false;
        {
            std::lock_guard<std::mutex> lock(wait.mutex);
            failed = wait.done && !wait.success;
        }
        if (failed) {
            break;
        }
        SleepResuming(kPollInterval);
    }
    return IsConnected();
}

MxPtr HandleScan() {
    SessionState& session = *Session();
    return session.mock_mode ? HandleMockScan() : HandleRealScan(session);
}

MxPtr HandleConnect(const mxArray* payload) {
    const std::string device_name = RequirePayloadString(payload, "device_name");
    SessionState& session = *Session();
    return session.mock_mode ? HandleMockConnect(session, device_name) : HandleRealConnect(session, device_name);
}

MxPtr HandleDisconnect() {
    SessionState& session = *Session();
    const bool was_connected = IsConnected();
    const bool was_streaming = IsStreaming();
    const std::uint64_t drained = session.mock_mode ? DisconnectMockHeadset(session) : DestroyManagerIfNeeded();
    return MakeDisconnectResult(drained, was_connected, was_streaming);
}

}  // namespace kx
