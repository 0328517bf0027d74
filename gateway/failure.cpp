#include "gateway/failure.h"

#include <cstring>

namespace kx {
namespace {

constexpr std::size_t kKeptMessageBytes = 64 * 1024;

bool IsContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0u) == 0x80u;
}

}  // namespace

std::size_t Utf8PrefixLength(const char* text, std::size_t length, std::size_t limit) noexcept {
    if (length <= limit) {
        return length;
    }
    // A character is at most four bytes: back off over at most three
    // continuation bytes; a longer run is no character to keep whole.
    std::size_t cut = limit;
    while (cut > 0 && limit - cut < 3 && IsContinuationByte(text[cut])) {
        --cut;
    }
    return IsContinuationByte(text[cut]) ? limit : cut;
}

template <std::size_t kFallbackBytes>
void RaisedFailure::Text<kFallbackBytes>::Assign(const char* text) noexcept {
    try {
        storage_.assign(text);
        whole_ = true;
    } catch (...) {
        const std::size_t length = Utf8PrefixLength(text, std::strlen(text), kFallbackBytes - 1);
        std::memcpy(fallback_, text, length);
        fallback_[length] = '\0';
        whole_ = false;
    }
}

template <std::size_t kFallbackBytes>
void RaisedFailure::Text<kFallbackBytes>::Release(std::size_t above) noexcept {
    if (storage_.capacity() > above) {
        std::string().swap(storage_);
        whole_ = true;
    }
}

void RaisedFailure::Store(const char* identifier, const char* message) noexcept {
    identifier_.Assign(identifier);
    message_.Assign(message);
}

void RaisedFailure::ReleaseLargeStorage() noexcept {
    message_.Release(kKeptMessageBytes);
}

MexFailure::MexFailure(const char* identifier_text, const std::string& message)
    : std::runtime_error(message), identifier(identifier_text) {}

void ThrowMex(const char* identifier, const std::string& message) {
    throw MexFailure(identifier, message);
}

std::string ErrorName(std::uint8_t status) {
    switch (status) {
        case 0: return "KX_ERROR_OK";
        case 1: return "KX_ERROR_CONNECTION";
        case 2: return "KX_ERROR_UNSUPPORTED_DEVICE";
        case 3: return "KX_ERROR_WRONG_VALUE";
        case 4: return "KX_ERROR_BLUETOOTH_DISABLED";
        case 5: return "KX_ERROR_BLUETOOTH_ADAPTER_NOT_FOUND";
        case 6: return "KX_ERROR_ADAPTER_OUT_OF_INDEX";
        case 7: return "KX_ERROR_UPDATE_FILE_NOT_FOUND";
        case 8: return "KX_ERROR_UPDATE_INITIATED_UNSUCCESSFULLY";
        case 9: return "KX_ERROR_UPDATE_FAILED_DEVICE_DISCONNECTED";
        case 10: return "KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING";
        case 11: return "KX_ERROR_NO_DEVICES_FOUND";
        case 12: return "KX_ERROR_NOT_ALL_MANAGERS_CLOSED";
        case 13: return "KX_ERROR_CORE_NOT_INITIALIZED";
        case 14: return "KX_ERROR_PATH_NOT_FOUND";
        default: return "KX_ERROR_UNKNOWN";
    }
}

const char* ErrorIdentifier(std::uint8_t status) {
    switch (status) {
        case 1: return "kestrix:sdk:connection";
        case 2: return id::kUnsupportedDevice;
        case 3: return id::kWrongValue;
        case 4: return "kestrix:sdk:bluetoothNotEnabled";
        case 5: return "kestrix:sdk:bluetoothAdapterNotFound";
        case 6: return "kestrix:sdk:adapterOutOfIndex";
        case 7: return "kestrix:sdk:updateFileNotFound";
        case 8: return "kestrix:sdk:updateStartFailed";
        case 9: return "kestrix:sdk:updateDisconnected";
        case 10: return "kestrix:sdk:annotationUnavailableCalibrating";
        case 11: return "kestrix:sdk:noDevicesFound";
        case 12: return "kestrix:sdk:notAllManagersClosed";
        case 13: return "kestrix:sdk:coreNotInitialized";
        case 14: return "kestrix:sdk:pathNotFound";
        default: return "kestrix:sdk:error";  // 0 is never raised; 15 and above are unknown
    }
}

std::string InitErrorName(std::uint8_t status) {
    switch (status) {
        case 1: return "KX_INIT_ERROR_CONFIG_TYPE";
        case 2: return "KX_INIT_ERROR_WRONG_ADAPTER_VALUE";
        case 3: return "KX_INIT_ERROR_INCOMPATIBLE_VERSION";
        case 4: return "KX_INIT_ERROR_NOT_ENABLED";
        case 5: return "KX_INIT_ERROR_NOT_FOUND";
        case 6: return "KX_INIT_ERROR_CONFIG_PARSE";
        case 7: return "KX_INIT_WARNING_ALREADY_INITIALIZED";
        case 8: return "KX_INIT_ERROR_INVALID_PATH";
        default: return "KX_INIT_ERROR_UNKNOWN";
    }
}

const char* InitErrorIdentifier(std::uint8_t status) {
    switch (status) {
        case 1: return "kestrix:sdk:configType";
        case 2: return "kestrix:sdk:wrongAdapterValue";
        case 3: return "kestrix:sdk:incompatibleVersion";
        case 4: return "kestrix:sdk:bluetoothNotEnabled";
        case 5: return "kestrix:sdk:bluetoothAdapterNotFound";
        case 6: return "kestrix:sdk:configParse";
        case 8: return "kestrix:sdk:invalidPath";
        default: return "kestrix:sdk:initFailed";
    }
}

void ThrowSdkStatus(const char* prefix, std::uint8_t status) {
    ThrowMex(ErrorIdentifier(status), prefix + ErrorName(status) + ".");
}

void ThrowInitStatus(const char* prefix, std::uint8_t status) {
    ThrowMex(InitErrorIdentifier(status), prefix + InitErrorName(status) + ".");
}

void ThrowNullResult(const char* operation) {
    ThrowMex(id::kRuntimeError, std::string(operation) + " returned null.");
}

void RethrowAsNativeException(const char* operation) {
    try {
        throw;
    } catch (const MexFailure&) {
        throw;
    } catch (const std::exception& error) {
        ThrowMex(id::kNativeException, std::string(operation) + " threw native exception: " + error.what());
    } catch (...) {
        ThrowMex(id::kNativeException, std::string(operation) + " threw an unknown native exception.");
    }
}

}  // namespace kx
