// The one failure type of the gateway, the status-name lookups, and the
// wrapper that keeps SDK exceptions from reaching MATLAB unconverted.
#ifndef KX_GATEWAY_FAILURE_H
#define KX_GATEWAY_FAILURE_H

#include <cstddef>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace kx {

// MATLAB error identifiers: "kestrix:" + area + ":" + name.
namespace id {
inline constexpr const char* kInvalidArgument = "kestrix:mex:invalidArgument";
inline constexpr const char* kTooManyOutputs = "kestrix:mex:tooManyOutputs";
inline constexpr const char* kUnsupportedCommand = "kestrix:mex:unsupportedCommand";
inline constexpr const char* kRuntimeError = "kestrix:mex:runtimeError";
inline constexpr const char* kNotConnected = "kestrix:state:notConnected";
inline constexpr const char* kStreaming = "kestrix:state:streaming";
inline constexpr const char* kNotStreaming = "kestrix:state:notStreaming";
inline constexpr const char* kNativeException = "kestrix:sdk:nativeException";
inline constexpr const char* kWrongValue = "kestrix:sdk:wrongValue";
inline constexpr const char* kUnsupportedDevice = "kestrix:sdk:unsupportedDevice";
}  // namespace id

class MexFailure : public std::runtime_error {
public:
    MexFailure(const char* identifier, const std::string& message);
    const std::string identifier;
};

[[noreturn]] void ThrowMex(const char* identifier, const std::string& message);

// Status names and identifiers of every operation but kx_core_init.
std::string ErrorName(std::uint8_t status);
const char* ErrorIdentifier(std::uint8_t status);
// Status names and identifiers of kx_core_init.
std::string InitErrorName(std::uint8_t status);
const char* InitErrorIdentifier(std::uint8_t status);

// prefix + status name + "." under the status's identifier; prefix is text
// such as "kx_core_scan failed with status ".
[[noreturn]] void ThrowSdkStatus(const char* prefix, std::uint8_t status);
[[noreturn]] void ThrowInitStatus(const char* prefix, std::uint8_t status);
// operation + " returned null." under kestrix:mex:runtimeError.
[[noreturn]] void ThrowNullResult(const char* operation);

// Converts the exception in flight (called from a catch block) the way every
// wrapped SDK call does: a MexFailure passes unchanged, anything else becomes
// kestrix:sdk:nativeException naming the operation.
[[noreturn]] void RethrowAsNativeException(const char* operation);

// Runs `call` (an SDK call, possibly preceded by gateway code) and returns its
// result unchanged; exceptions are converted by RethrowAsNativeException.
template <typename Callable>
auto CallSdkOrThrow(const char* operation, Callable&& call) -> decltype(call()) {
    try {
        return call();
    } catch (...) {
        RethrowAsNativeException(operation);
    }
}

// CallSdkOrThrow for a call that answers a status: any status but
// KX_ERROR_OK (0) fails through ThrowSdkStatus as
// "<operation> failed with status <name>.".
template <typename Callable>
void CallSdkRequiringOk(const char* operation, Callable&& call) {
    const std::uint8_t status = CallSdkOrThrow(operation, std::forward<Callable>(call));
    if (status != 0) {
        ThrowSdkStatus((std::string(operation) + " failed with status ").c_str(), status);
    }
}

// Identifier and message of the failure being raised, kept where they outlive
// the call: MATLAB is handed them only after every C++ object of the call is
// gone, and its error function does not return. Store copies into storage
// kept from earlier failures, growing it only when a longer text comes, and
// never throws: when memory runs out the text is cut, at a character boundary.
class RaisedFailure {
public:
    void Store(const char* identifier, const char* message) noexcept;
    const char* identifier() const noexcept { return identifier_.text(); }
    const char* message() const noexcept { return message_.text(); }
    // Gives back the memory an unusually long message took; call it while no
    // failure is being raised.
    void ReleaseLargeStorage() noexcept;

private:
    template <std::size_t kFallbackBytes>
    class Text {
    public:
        void Assign(const char* text) noexcept;
        const char* text() const noexcept { return whole_ ? storage_.c_str() : fallback_; }
        void Release(std::size_t above) noexcept;

    private:
        std::string storage_;
        bool whole_ = true;
        char fallback_[kFallbackBytes] = {};
    };

    Text<128> identifier_;
    Text<8192> message_;
};

// The length of the longest prefix of `text` (of `length` bytes) that holds at
// most `limit` bytes and does not end inside a UTF-8 character.
std::size_t Utf8PrefixLength(const char* text, std::size_t length, std::size_t limit) noexcept;

}  // namespace kx

#endif  // KX_GATEWAY_FAILURE_H
