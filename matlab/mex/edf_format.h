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
// text cut to at most max bytes without splitting a UTF-8 character.
std::string Utf8Prefix(const std::string& text, size_t max);
// What an EDFlib open error code means, in words.
std::string OpenErrorText(int code);
// text without its trailing spaces.
std::string Trimmed(const char* text);

// The exact start kept in the EDF+ "recording" field: the whitespace-separated
// word start+S.SSSSSS or start-S.SSSSSS, the seconds from the header's start
// time to the first sample. False (and *seconds untouched) without that word.
bool ParseStartOffset(const std::string& recording_field, double* seconds);

struct StartTime {
    int year, month, day, hour, minute, second, subsecond;
};
// The local clock time of posix_seconds, the subsecond in EDFlib's 100 ns
// units rounded to 100 us as EDFlib advises.
StartTime LocalStartTime(double posix_seconds);

}  // namespace kxedf
