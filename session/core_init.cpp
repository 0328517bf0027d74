#include "session/core_init.h"

#include "gateway/commands.h"
#include "gateway/failure.h"
#include "gateway/values.h"
#include "interfaces/kxcore.h"
#include "session/session_state.h"

#include <cstring>
#include <string>

namespace kx {
namespace {

void LockOnce(SessionState& session) {
    if (!session.mex_locked) {
        mexLock();
        session.mex_locked = true;
    }
}

// The SDK may leave a path field without its NUL; never read past the field.
std::string BoundedText(const char* field, std::size_t capacity) {
    const void* nul = std::memchr(field, '\0', capacity);
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : capacity;
    return std::string(field, length);
}

sKXCORE_Config_t MockConfig() {
    sKXCORE_Config_t config;
    std::memset(&config, 0, sizeof(config));
    config.log_buffer_size = 512;
    CopyStringToBuffer(config.log_path, sizeof(config.log_path), "mock-kxcore.log");
    config.log_level = 2;
    config.append_logs = true;
    config.timestamps_enabled = false;
    config.autoflush = false;
    config.thread_ids_enabled = false;
    config.chunk_size = 25;
    config.enable_logs = false;
    CopyStringToBuffer(config.update_path, sizeof(config.update_path), "../updates/mock_firmware.bin");
    config.adapter_index = 0;
    return config;
}

MxPtr MakeConfigStruct(const sKXCORE_Config_t& config) {
    return StructBuilder({"log_buffer_size", "log_path", "log_level", "append_logs", "timestamps_enabled", "autoflush",
                          "thread_ids_enabled", "chunk_size", "enable_logs", "update_path", "adapter_index"})
        .Set("log_buffer_size", MakeDouble(static_cast<double>(config.log_buffer_size)))
        .Set("log_path", MakeString(BoundedText(config.log_path, sizeof(config.log_path))))
        .Set("log_level", MakeDouble(config.log_level))
        .Set("append_logs", MakeLogical(SdkFlag(config.append_logs)))
        .Set("timestamps_enabled", MakeLogical(SdkFlag(config.timestamps_enabled)))
        .Set("autoflush", MakeLogical(SdkFlag(config.autoflush)))
        .Set("thread_ids_enabled", MakeLogical(SdkFlag(config.thread_ids_enabled)))
        .Set("chunk_size", MakeDouble(static_cast<double>(config.chunk_size)))
        .Set("enable_logs", MakeLogical(SdkFlag(config.enable_logs)))
        .Set("update_path", MakeString(BoundedText(config.update_path, sizeof(config.update_path))))
        .Set("adapter_index", MakeDouble(config.adapter_index))
        .Release();
}

MxPtr MakeInitResult(const char* variant, const sKXCORE_Config_t& config, const kx_version& version) {
    return StructBuilder({"backend", "backend_variant", "config", "core_version", "mode"})
        .Set("backend", MakeString("kestrix-matlab-api"))
        .Set("backend_variant", MakeString(variant))
        .Set("config", MakeConfigStruct(config))
        .Set("core_version", MakeVersionStruct(version))
        .Set("mode", MakeString("persistent"))
        .Release();
}

}  // namespace

void EnsureCoreInitialized() {
    SessionState& session = *Session();
    if (session.mock_mode) {
        session.mock_core_initialized = true;
        LockOnce(session);
        return;
    }
    if (session.core_initialized) {
        return;
    }
    const kx_init_status status = CallSdkOrThrow("kx_core_init", [] { return kx_core_init(); });
    if (status != KX_INIT_SUCCESS && status != KX_INIT_WARNING_ALREADY_INITIALIZED) {
        ThrowInitStatus("kx_core_init failed with status ", status);
    }
    session.core_initialized = true;
    LockOnce(session);
}

MxPtr HandleInit() {
    SessionState& session = *Session();
    EnsureCoreInitialized();
    if (session.mock_mode) {
        const kx_version version{3, 6, 1};
        return MakeInitResult("mock", MockConfig(), version);
    }
    // Not wrapped: an exception from either query reaches the entry point's
    // generic handler, and the core stays started.
    const kx_version* version = kx_core_get_version();
    if (version == nullptr) {
        ThrowNullResult("kx_core_get_version");
    }
    sKXCORE_Config_t config;
    std::memset(&config, 0, sizeof(config));
    const kx_status status = kx_core_get_config(&config);
    if (status != KX_ERROR_OK) {
        ThrowSdkStatus("kx_core_get_config failed with status ", status);
    }
    return MakeInitResult("mex", config, *version);
}

}  // namespace kx
