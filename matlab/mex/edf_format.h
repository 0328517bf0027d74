// What the EDF+/BDF+ header states and how: shared by the writer and the reader.
#pragma once

#include <cstddef>
#include <string>

namespace kxedf {

// EDFlib keeps at most this many bytes of an annotation's text when writing.
constexpr size_t kMaxAnnotationBytes = 40;
// Offset and width of the header's "number of data records" field.
constexpr long kRecordCountOffset = 236;
constexpr size_t kRecordCountWidth = 8;
// The annotation that marks where the samples end when the last data record
// had to be completed with padding.
constexpr const char* kRecordingEnds = "Recording ends";
// Offset and width of the header's EDF+ "recording" field, which holds the
// word StartOffsetText makes.
constexpr long kRecordingFieldOffset = 88;
constexpr size_t kRecordingFieldWidth = 80;
constexpr size_t kStartOffsetWidth = 14;

// The nearest value that the header's 8 characters state exactly, outward
// (up for a maximum, down for a minimum).
double HeaderLimit(double value, bool upward);
// A stated limit nudged so that EDFlib's printing, which cuts the decimal
// expansion, lands on the digits it was chosen by.
double ForHeaderText(double stated);
// Record duration in microseconds for spr samples at rate Hz, when EDFlib can
// state it exactly; 0 otherwise.
long long RecordMicroseconds(long long spr, long long rate);
// The header's record count: 8 characters, left-aligned.
std::string RecordCountField(long long records);
// The word of the recording field that places the first sample against the
// header's whole-second start time: "start+0.250000" (sign, one digit, six
// decimals). Fails for 10 s or more.
std::string StartOffsetText(double seconds);
// One annotation as an EDF+ time-stamped annotation list: "+onset", 0x14,
// the text, 0x14, and the terminating 0. The onset (seconds, 0 to 1e9) is
// stated to 100 ns; control characters of the text become spaces.
std::string AnnotationTal(double onset_s, const std::string& text);
// text cut to at most max bytes without splitting a UTF-8 character.
std::string Utf8Prefix(const std::string& text, size_t max);
// What an EDFlib open error code means, in words.
std::string OpenErrorText(int code);
// text without its trailing spaces.
std::string Trimmed(const char* text);

struct StartTime {
    int year, month, day, hour, minute, second;
};
// The local clock time of the whole second posix_seconds falls in.
StartTime LocalStartTime(double posix_seconds);

}  // namespace kxedf
