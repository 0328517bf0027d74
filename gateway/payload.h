// Readers of the payload struct's fields, and the conversions of payload
// numbers. Readers reject; they never coerce silently or return a default.
#ifndef KX_GATEWAY_PAYLOAD_H
#define KX_GATEWAY_PAYLOAD_H

#include "interfaces/mex_api.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kx {

// Copies a char array's text (up to its first NUL) into `text`; false when the
// host could not convert it. MATLAB's buffer is released on every path.
bool CopyCharArray(const mxArray* value, std::string& text);

// The field's decoded text, never empty.
std::string RequirePayloadString(const mxArray* payload, const char* field);
// The field's numeric value as a double, always finite.
double RequirePayloadScalar(const mxArray* payload, const char* field, bool accept_logical);

// The field's value when the payload has the field and it is not empty, else
// null: how handlers tell an optional field that was left out.
const mxArray* FindPayloadField(const mxArray* payload, const char* field);

// Truncation toward zero to a signed 32-bit integer; a value outside that
// range (the caller has checked it is finite) becomes INT32_MIN.
std::int32_t TruncateToInt32(double value);

// Copies at most capacity - 1 bytes of source and a terminating NUL.
void CopyStringToBuffer(char* destination, std::size_t capacity, const std::string& source);

// "\"" + field + "\"", the form every reader message names a field in.
std::string QuotedField(const char* field);

}  // namespace kx

#endif  // KX_GATEWAY_PAYLOAD_H
