#include "edf_format.h"

#include <edflib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "edf_failure.h"

namespace kxedf {

// The header states physical limits in 8 characters. A limit is widened to
// the nearest value that 8 characters state exactly (outward: up for a
// maximum, down for a minimum), so that the samples are converted with what
// every reader finds in the header.
double HeaderLimit(double value, bool upward) {
    for (int decimals = 7; decimals >= 0; --decimals) {
        const double scale = std::pow(10.0, decimals);
        char text[64];
        std::snprintf(text, sizeof(text), "%.*f", decimals,
                      (upward ? std::ceil(value * scale) : std::floor(value * scale)) / scale);
        const double stated = std::strtod(text, nullptr);
        if (std::strlen(text) <= 8 && (upward ? stated >= value : stated <= value)) {
            return stated;
        }
    }
    Fail(id::kInvalidArgument, "A physical limit of " + std::to_string(value) + " does not fit the header.");
}

// EDFlib prints a limit by cutting its decimal expansion, so the double
// nearest -299.998 (just above it) would come out as "-299.997". A few
// units in the last place away from zero make the cut land on the digits
// the limit was chosen by.
double ForHeaderText(double stated) {
    const double away = stated < 0 ? -INFINITY : INFINITY;
    return std::nextafter(std::nextafter(std::nextafter(stated, away), away), away);
}

// Record duration in microseconds for spr samples at rate Hz, when EDFlib can
// state it exactly; 0 otherwise.
long long RecordMicroseconds(long long spr, long long rate) {
    if ((spr * 1000000LL) % rate != 0) {
        return 0;
    }
    const long long us = spr * 1000000LL / rate;
    if (us < 10000) {
        return us;  // edf_set_micro_datarecord_duration: 1 to 9999 us
    }
    return (us % 10 == 0 && us <= 60000000LL) ? us : 0;  // 10 us steps up to 60 s
}

// The header's record count: 8 characters, left-aligned.
std::string RecordCountField(long long records) {
    std::string field = std::to_string(records);
    if (field.size() > kRecordCountWidth) {
        Fail(id::kWriteFailed, "More data records than an EDF header can count.");
    }
    field.resize(kRecordCountWidth, ' ');
    return field;
}

std::string StartOffsetText(double seconds) {
    const double micro = std::round(seconds * 1e6);
    if (!(std::fabs(micro) < 1e7)) {
        Fail(id::kInvalidArgument, "The first sample must lie within 10 s of the file's start time.");
    }
    const long long us = std::llabs(static_cast<long long>(micro));
    char text[32];
    std::snprintf(text, sizeof(text), "start%c%lld.%06lld", micro < 0 ? '-' : '+', us / 1000000, us % 1000000);
    return text;
}

std::string AnnotationTal(double onset_s, const std::string& text) {
    if (!(onset_s >= 0 && onset_s <= 1e9)) {
        Fail(id::kInvalidArgument, "Annotation onsets must lie from 0 to 1e9 s.");
    }
    const long long units = std::llround(onset_s * 1e7);  // 100 ns
    std::string onset = "+" + std::to_string(units / 10000000);
    if (units % 10000000 != 0) {
        char fraction[16];
        std::snprintf(fraction, sizeof(fraction), ".%07lld", units % 10000000);
        onset += fraction;
        onset.erase(onset.find_last_not_of('0') + 1);
    }
    std::string tal = onset + '\x14';
    for (const char c : text) {
        tal += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
    tal += '\x14';
    tal += '\0';
    return tal;
}

// Cuts text to at most max bytes without splitting a UTF-8 character.
std::string Utf8Prefix(const std::string& text, size_t max) {
    if (text.size() <= max) {
        return text;
    }
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

std::string OpenErrorText(int code) {
    switch (code) {
        case EDFLIB_MALLOC_ERROR: return "out of memory";
        case EDFLIB_NO_SUCH_FILE_OR_DIRECTORY: return "the file cannot be opened (no such folder or no permission)";
        case EDFLIB_FILE_CONTAINS_FORMAT_ERRORS: return "it is not a valid EDF(+) or BDF(+) file";
        case EDFLIB_MAXFILES_REACHED: return "too many files are open";
        case EDFLIB_FILE_READ_ERROR: return "it could not be read";
        case EDFLIB_FILE_ALREADY_OPENED: return "it is already open";
        case EDFLIB_FILETYPE_ERROR: return "unknown file type";
        case EDFLIB_FILE_WRITE_ERROR: return "it could not be written";
        case EDFLIB_NUMBER_OF_SIGNALS_INVALID: return "invalid number of signals";
        case EDFLIB_FILE_IS_DISCONTINUOUS: return "it is a discontinuous (EDF+D/BDF+D) file";
        case EDFLIB_INVALID_READ_ANNOTS_VALUE: return "invalid annotation mode";
        case EDFLIB_ARCH_ERROR: return "unsupported platform";
        default: return "EDFlib error " + std::to_string(code);
    }
}

StartTime LocalStartTime(double posix_seconds) {
    // Far outside those years already (about 1653 to 2286): refused before the
    // conversion to time_t, which such a number could overflow.
    if (!(std::fabs(posix_seconds) < 1e10)) {
        Fail(id::kInvalidArgument, "\"start_time\" must lie between 1985 and 2084.");
    }
    const time_t t = static_cast<time_t>(std::floor(posix_seconds));
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr || local.tm_year + 1900 < 1985 || local.tm_year + 1900 > 2084) {
        Fail(id::kInvalidArgument, "\"start_time\" must lie between 1985 and 2084.");
    }
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::string Trimmed(const char* text) {
    std::string s(text);
    const size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

}  // namespace kxedf
