// The values exchanged with MATLAB: the payload struct's fields coming in,
// and the results going back.
// Readers reject; they never coerce silently or return a default. Every
// builder returns an owner, so a result under construction is freed if a
// later step fails.
#ifndef KX_GATEWAY_VALUES_H
#define KX_GATEWAY_VALUES_H

#include "interfaces/kxcore.h"
#include "interfaces/mex_api.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace kx {

// Payload fields.

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

// Result values.

MxPtr MakeDouble(double value);
MxPtr MakeLogical(bool value);
MxPtr MakeString(const std::string& text);
// The 0x0 double that stands for an absent value.
MxPtr MakeEmptyDouble();
// 1xN doubles converted from unsigned 64-bit; 0x0 when the list is empty.
MxPtr MakeSizeRowVector(const std::vector<std::uint64_t>& sizes);
// 1xN doubles; 0x0 when the list is empty.
MxPtr MakeDoubleRowVector(const std::vector<double>& values);
// 1xN cell of char rows (1x0 when the list is empty).
MxPtr MakeCellRow(const std::vector<std::string>& texts);
// An enumerated value: a struct with "name" and "value".
MxPtr MakeNamedValue(const std::string& name, double value);

// SDK records that handlers in more than one folder return. These builders
// only read the record; none of them calls the SDK.
// A version as "major", "minor", "patch" and "text" ("3.6.1").
MxPtr MakeVersionStruct(const kx_version& version);
// "VELO", "RUNA", "TOKA", "ZEM", "SOLA1", "SOLA", or "UNKNOWN".
std::string DeviceModelNameForMatlab(std::uint8_t model);
// The device-info struct of connect and get_device_info. The packet size is
// an argument because finding it may take an SDK call (SamplesPerPacket in
// device/device_info.h).
MxPtr MakeDeviceInfoStruct(const kx_device_info& info, std::int32_t samples_per_packet);

// A struct created with its whole field list at once (1x1, or rows x 1 for a
// list of records) and then filled field by field.
class StructBuilder {
public:
    explicit StructBuilder(std::initializer_list<const char*> fields, std::size_t rows = 1);
    StructBuilder& Set(const char* field, MxPtr value) { return Set(0, field, std::move(value)); }
    StructBuilder& Set(std::size_t index, const char* field, MxPtr value);
    MxPtr Release() { return std::move(array_); }

private:
    MxPtr array_;
};

// A flag of an SDK record, read as its byte: loading a byte other than 0 or 1
// as a bool would be undefined, and any non-zero byte means true.
inline bool SdkFlag(const bool& field) {
    unsigned char byte = 0;
    std::memcpy(&byte, &field, sizeof(byte));
    return byte != 0;
}

// A text of an SDK record; a null pointer is read as empty text.
inline std::string SdkText(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

// Throws std::bad_alloc when the host could not create the array.
MxPtr CheckCreated(mxArray* array);

}  // namespace kx

#endif  // KX_GATEWAY_VALUES_H
