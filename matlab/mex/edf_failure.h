// The one failure type of the toolbox's file code: an identifier (kestrix:file:*)
// and a message. kx_edf_mex raises it as a MATLAB error at its entry point;
// the reader and writer below it never touch the MATLAB API.
#pragma once

#include <stdexcept>
#include <string>

namespace kxedf {

namespace id {
constexpr const char* kInvalidArgument = "kestrix:file:invalidArgument";
constexpr const char* kOpenFailed = "kestrix:file:openFailed";
constexpr const char* kWriteFailed = "kestrix:file:writeFailed";
constexpr const char* kReadFailed = "kestrix:file:readFailed";
constexpr const char* kNotOpen = "kestrix:file:notOpen";
constexpr const char* kUnsupportedCommand = "kestrix:file:unsupportedCommand";
constexpr const char* kInternal = "kestrix:file:internalError";
}  // namespace id

class Failure : public std::runtime_error {
public:
    Failure(const char* identifier, const std::string& message) : std::runtime_error(message), identifier(identifier) {}
    const char* identifier;
};

[[noreturn]] inline void Fail(const char* identifier, const std::string& message) {
    throw Failure(identifier, message);
}

}  // namespace kxedf
