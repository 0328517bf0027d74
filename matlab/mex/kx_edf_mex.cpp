// kx_edf_mex: the toolbox's EDF+/BDF+ files, written and read through EDFlib.
//
//   H = kx_edf_mex('open', PATH, HEADER)      a writer; EDFlib writes the header
//                                             with the first whole data record
//   S = kx_edf_mex('write', H, DATA)          appends a channels x samples block
//   S = kx_edf_mex('close', H, ANNOTATIONS)   annotations, last record, close
//   F = kx_edf_mex('read', PATH)              a whole file, signals as rows
//
// After every data record the file is flushed and the header's record count
// is set, so a process that dies leaves a file readable up to its last whole
// record. EDFlib itself keeps the count at -1 and the annotations in memory
// until the file is closed; those annotations are what a crash loses.
//
// Errors: kestrix:file:invalidArgument, kestrix:file:openFailed,
// kestrix:file:writeFailed, kestrix:file:readFailed, kestrix:file:notOpen,
// kestrix:file:unsupportedCommand. Raised once, at the entry point, after
// every C++ object of the call is gone.
#include "mex.h"

#include <edflib.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace id {
constexpr const char* kInvalidArgument = "kestrix:file:invalidArgument";
constexpr const char* kOpenFailed = "kestrix:file:openFailed";
constexpr const char* kWriteFailed = "kestrix:file:writeFailed";
constexpr const char* kReadFailed = "kestrix:file:readFailed";
constexpr const char* kNotOpen = "kestrix:file:notOpen";
constexpr const char* kUnsupportedCommand = "kestrix:file:unsupportedCommand";
constexpr const char* kInternal = "kestrix:file:internalError";
}  // namespace id

// EDFlib keeps at most this many bytes of an annotation's text when writing.
constexpr size_t kMaxAnnotationBytes = 40;
// Offset and width of the header's "number of data records" field.
constexpr long kRecordCountOffset = 236;
constexpr size_t kRecordCountWidth = 8;
// The annotation that marks where the samples end when the last data record
// had to be completed with padding.
constexpr const char* kRecordingEnds = "Recording ends";

class Failure : public std::runtime_error {
public:
    Failure(const char* identifier, const std::string& message) : std::runtime_error(message), identifier(identifier) {}
    const char* identifier;
};

[[noreturn]] void Fail(const char* identifier, const std::string& message) {
    throw Failure(identifier, message);
}

struct MxDeleter {
    void operator()(mxArray* array) const noexcept { mxDestroyArray(array); }
};
using MxPtr = std::unique_ptr<mxArray, MxDeleter>;

MxPtr Created(mxArray* array) {
    if (array == nullptr) {
        Fail(id::kInternal, "Out of memory.");
    }
    return MxPtr(array);
}

// ---- reading MATLAB values -------------------------------------------------

std::string Text(const mxArray* value, const std::string& what) {
    if (value == nullptr || !mxIsChar(value) || (mxGetM(value) > 1)) {
        Fail(id::kInvalidArgument, what + " must be a character row.");
    }
    struct Free {
        void operator()(char* p) const noexcept { mxFree(p); }
    };
#if defined(MATLAB_MEX_FILE)
    std::unique_ptr<char, Free> converted(mxArrayToUTF8String(value));
#else
    std::unique_ptr<char, Free> converted(mxArrayToString(value));
#endif
    if (!converted) {
        Fail(id::kInvalidArgument, "Could not decode " + what + ".");
    }
    return std::string(converted.get());
}

const mxArray* Field(const mxArray* s, const char* name, bool required) {
    const mxArray* value =
        (s != nullptr && mxIsStruct(s) && mxGetNumberOfElements(s) == 1) ? mxGetField(s, 0, name) : nullptr;
    if (value == nullptr && required) {
        Fail(id::kInvalidArgument, std::string("The field \"") + name + "\" is missing.");
    }
    return value;
}

// A real double array; nullptr for an empty one.
const double* Doubles(const mxArray* value, const std::string& what) {
    if (value == nullptr || !mxIsDouble(value) || mxIsComplex(value) || mxIsSparse(value)) {
        Fail(id::kInvalidArgument, what + " must be a real double array.");
    }
    return mxIsEmpty(value) ? nullptr : mxGetDoubles(value);
}

double Scalar(const mxArray* value, const std::string& what) {
    const double* p = Doubles(value, what);
    if (p == nullptr || mxGetNumberOfElements(value) != 1 || !std::isfinite(*p)) {
        Fail(id::kInvalidArgument, what + " must be a finite scalar.");
    }
    return *p;
}

long long Integer(const mxArray* value, const std::string& what, long long low, long long high) {
    const double number = Scalar(value, what);
    if (number != std::floor(number) || number < static_cast<double>(low) || number > static_cast<double>(high)) {
        Fail(id::kInvalidArgument,
             what + " must be an integer from " + std::to_string(low) + " to " + std::to_string(high) + ".");
    }
    return static_cast<long long>(number);
}

std::string OptionalText(const mxArray* s, const char* name) {
    const mxArray* value = Field(s, name, false);
    return (value == nullptr || mxIsEmpty(value)) ? std::string() : Text(value, std::string("\"") + name + "\"");
}

// One value per channel, or one for all.
std::vector<double> PerChannel(const mxArray* s, const char* name, size_t channels) {
    const mxArray* value = Field(s, name, true);
    const double* p = Doubles(value, std::string("\"") + name + "\"");
    const size_t n = mxGetNumberOfElements(value);
    if (p == nullptr || (n != 1 && n != channels)) {
        Fail(id::kInvalidArgument, std::string("\"") + name + "\" must hold one value or one per channel.");
    }
    std::vector<double> out(channels);
    for (size_t c = 0; c < channels; ++c) {
        out[c] = p[n == 1 ? 0 : c];
        if (!std::isfinite(out[c])) {
            Fail(id::kInvalidArgument, std::string("\"") + name + "\" must be finite.");
        }
    }
    return out;
}

// ---- header numbers --------------------------------------------------------

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

struct StartTime {
    int year, month, day, hour, minute, second, subsecond;
};

// The local clock time of posix_seconds, the subsecond in EDFlib's 100 ns
// units rounded to 100 us as EDFlib advises.
StartTime LocalStartTime(double posix_seconds) {
    // Far outside those years already (about 1653 to 2286): refused before the
    // conversion to time_t, which such a number could overflow.
    if (!(std::fabs(posix_seconds) < 1e10)) {
        Fail(id::kInvalidArgument, "\"start_time\" must lie between 1985 and 2084.");
    }
    const double whole = std::floor(posix_seconds);
    long long subsecond = std::llround((posix_seconds - whole) * 10000.0) * 1000;
    time_t t = static_cast<time_t>(whole);
    if (subsecond >= 10000000) {
        subsecond = 0;
        ++t;
    }
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr || local.tm_year + 1900 < 1985 || local.tm_year + 1900 > 2084) {
        Fail(id::kInvalidArgument, "\"start_time\" must lie between 1985 and 2084.");
    }
    return {local.tm_year + 1900, local.tm_mon + 1,           local.tm_mday, local.tm_hour, local.tm_min,
            local.tm_sec,         static_cast<int>(subsecond)};
}

// ---- writing ---------------------------------------------------------------

struct Annotation {
    double onset_s;
    std::string text;
};

class Writer {
public:
    Writer(const std::string& path, const mxArray* header) : path_(path) {
        const std::string type = Text(Field(header, "type", true), "\"type\"");
        if (type != "bdf" && type != "edf") {
            Fail(id::kInvalidArgument, "\"type\" must be 'bdf' or 'edf'.");
        }
        bdf_ = type == "bdf";
        const mxArray* labels = Field(header, "labels", true);
        if (!mxIsCell(labels) || mxIsEmpty(labels)) {
            Fail(id::kInvalidArgument, "\"labels\" must be a non-empty cell of character rows.");
        }
        channels_ = mxGetNumberOfElements(labels);
        std::vector<std::string> names(channels_);
        for (size_t c = 0; c < channels_; ++c) {
            names[c] = Text(mxGetCell(labels, c), "a label");
        }
        rate_ = Integer(Field(header, "sample_rate", true), "\"sample_rate\"", 1, 1000000);
        spr_ = Integer(Field(header, "samples_per_record", true), "\"samples_per_record\"", 1, 100000000);
        record_us_ = RecordMicroseconds(spr_, rate_);
        if (record_us_ == 0) {
            Fail(id::kInvalidArgument, "A data record of " + std::to_string(spr_) + " samples at " +
                                           std::to_string(rate_) + " Hz has no exact EDF duration.");
        }
        phys_min_ = PerChannel(header, "physical_min", channels_);
        phys_max_ = PerChannel(header, "physical_max", channels_);
        for (size_t c = 0; c < channels_; ++c) {
            phys_min_[c] = HeaderLimit(phys_min_[c], false);
            phys_max_[c] = HeaderLimit(phys_max_[c], true);
            if (!(phys_min_[c] < phys_max_[c])) {
                Fail(id::kInvalidArgument, "\"physical_min\" must be below \"physical_max\".");
            }
        }
        if (const mxArray* n = Field(header, "annotation_signals", false)) {
            annotation_signals_ = static_cast<int>(Integer(n, "\"annotation_signals\"", 1, 64));
        }
        const StartTime start = LocalStartTime(Scalar(Field(header, "start_time", true), "\"start_time\""));
        const std::string unit = OptionalText(header, "unit");
        const std::string equipment = OptionalText(header, "equipment");
        const std::string additional = OptionalText(header, "recording_additional");
        const std::string patient_code = OptionalText(header, "patient_code");
        const std::string patient_name = OptionalText(header, "patient_name");

        handle_ = edfopen_file_writeonly(path_.c_str(), bdf_ ? EDFLIB_FILETYPE_BDFPLUS : EDFLIB_FILETYPE_EDFPLUS,
                                         static_cast<int>(channels_));
        if (handle_ < 0) {
            Fail(id::kOpenFailed, "Cannot write " + path_ + ": " + OpenErrorText(handle_) + ".");
        }
        dig_max_ = bdf_ ? 8388607 : 32767;
        dig_min_ = bdf_ ? -8388608 : -32768;
        bool ok = true;
        for (size_t c = 0; c < channels_; ++c) {
            const int s = static_cast<int>(c);
            ok = ok && edf_set_samplefrequency(handle_, s, static_cast<int>(spr_)) == 0 &&
                 edf_set_physical_maximum(handle_, s, ForHeaderText(phys_max_[c])) == 0 &&
                 edf_set_physical_minimum(handle_, s, ForHeaderText(phys_min_[c])) == 0 &&
                 edf_set_digital_maximum(handle_, s, dig_max_) == 0 &&
                 edf_set_digital_minimum(handle_, s, dig_min_) == 0 &&
                 edf_set_label(handle_, s, names[c].c_str()) == 0 &&
                 edf_set_physical_dimension(handle_, s, unit.c_str()) == 0;
        }
        ok = ok && (record_us_ < 10000 ? edf_set_micro_datarecord_duration(handle_, static_cast<int>(record_us_))
                                       : edf_set_datarecord_duration(handle_, static_cast<int>(record_us_ / 10))) == 0;
        ok = ok && edf_set_number_of_annotation_signals(handle_, annotation_signals_) == 0 &&
             edf_set_startdatetime(handle_, start.year, start.month, start.day, start.hour, start.minute,
                                   start.second) == 0 &&
             edf_set_subsecond_starttime(handle_, start.subsecond) == 0 &&
             edf_set_equipment(handle_, equipment.c_str()) == 0 &&
             edf_set_recording_additional(handle_, additional.c_str()) == 0 &&
             edf_set_patientcode(handle_, patient_code.c_str()) == 0 &&
             edf_set_patientname(handle_, patient_name.c_str()) == 0;
        if (ok) {
            count_fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        }
        if (!ok || count_fd_ < 0) {
            // A throwing constructor runs no destructor: release the file here.
            const std::string reason = ok ? std::strerror(errno) : "EDFlib refused the header";
            CloseHandles();
            std::remove(path_.c_str());
            Fail(ok ? id::kOpenFailed : id::kInvalidArgument, "Cannot write " + path_ + ": " + reason + ".");
        }
        record_.assign(channels_ * static_cast<size_t>(spr_), 0);
    }

    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Unload or exit while the file is still open: keep what was written.
    ~Writer() {
        if (handle_ >= 0) {
            try {
                Finish({});
            } catch (...) {
                CloseHandles();
            }
        }
    }

    size_t channels() const { return channels_; }

    // data is channels x samples, column-major.
    void Append(const double* data, size_t samples) {
        RequireUsable();
        for (size_t i = 0; i < samples; ++i) {
            for (size_t c = 0; c < channels_; ++c) {
                record_[c * static_cast<size_t>(spr_) + pending_] = Digital(data[i * channels_ + c], c, true);
            }
            if (++pending_ == static_cast<size_t>(spr_)) {
                WriteRecord();
            }
        }
    }

    MxPtr Status() const {
        const char* names[] = {"records", "samples", "pending_samples", "clipped_samples"};
        MxPtr s = Created(mxCreateStructMatrix(1, 1, 4, names));
        mxSetField(s.get(), 0, "records", Created(mxCreateDoubleScalar(static_cast<double>(records_))).release());
        mxSetField(
            s.get(), 0, "samples",
            Created(mxCreateDoubleScalar(static_cast<double>(records_ * spr_ + static_cast<long long>(pending_))))
                .release());
        mxSetField(s.get(), 0, "pending_samples",
                   Created(mxCreateDoubleScalar(static_cast<double>(pending_))).release());
        mxSetField(s.get(), 0, "clipped_samples",
                   Created(mxCreateDoubleScalar(static_cast<double>(clipped_))).release());
        return s;
    }

    struct Report {
        long long records = 0, samples = 0, padded = 0, clipped = 0;
        size_t written = 0, not_written = 0, shortened = 0;
    };

    // Completes the last record, writes the annotations that fit and closes.
    Report Finish(std::vector<Annotation> annotations) {
        Report report;
        report.samples = records_ * spr_ + static_cast<long long>(pending_);
        if (pending_ > 0 && !failed_) {
            report.padded = spr_ - static_cast<long long>(pending_);
            const double end_s = static_cast<double>(report.samples) / static_cast<double>(rate_);
            for (size_t c = 0; c < channels_; ++c) {
                std::fill(record_.begin() + static_cast<std::ptrdiff_t>(c * static_cast<size_t>(spr_) + pending_),
                          record_.begin() + static_cast<std::ptrdiff_t>((c + 1) * static_cast<size_t>(spr_)),
                          Digital(0.0, c, false));
            }
            WriteRecord();
            annotations.push_back({end_s, kRecordingEnds});
        }
        // Onset order, "Recording ends" last among equals; without a data
        // record EDFlib would invent records to hold annotations.
        std::stable_sort(annotations.begin(), annotations.end(),
                         [](const Annotation& a, const Annotation& b) { return a.onset_s < b.onset_s; });
        const size_t capacity = failed_ ? 0 : static_cast<size_t>(records_) * static_cast<size_t>(annotation_signals_);
        if (annotations.size() > capacity && report.padded > 0 && capacity > 0) {
            // The end marker tells readers which samples are padding: keep it.
            std::swap(annotations[capacity - 1], annotations.back());
        }
        for (size_t k = 0; k < annotations.size(); ++k) {
            if (k >= capacity) {
                ++report.not_written;
                continue;
            }
            const std::string text = Utf8Prefix(annotations[k].text, kMaxAnnotationBytes);
            if (text.size() < annotations[k].text.size()) {
                ++report.shortened;
            }
            const long long onset = std::llround(annotations[k].onset_s * 10000.0);  // 100 us units
            if (edfwrite_annotation_utf8(handle_, onset, -1, text.c_str()) != 0) {
                ++report.not_written;
            } else {
                ++report.written;
            }
        }
        report.records = records_;
        report.clipped = clipped_;
        const bool empty = records_ == 0;
        const bool was_failed = failed_;
        const bool closed = CloseHandles();
        if (empty) {
            std::remove(path_.c_str());  // a header without data is no valid file
        }
        if (!closed && !was_failed) {
            Fail(id::kWriteFailed, "Closing " + path_ + " failed.");
        }
        return report;
    }

private:
    // The digital value of a physical one, rounded to the nearest step (EDFlib's
    // own conversion truncates, which doubles the error). Values outside the
    // physical range, and NaN, are clipped and counted.
    int Digital(double value, size_t c, bool count) {
        if (!(value >= phys_min_[c] && value <= phys_max_[c])) {
            if (count) {
                ++clipped_;
            }
            value = std::isnan(value) ? std::min(std::max(0.0, phys_min_[c]), phys_max_[c])
                                      : std::min(std::max(value, phys_min_[c]), phys_max_[c]);
        }
        const double step = (phys_max_[c] - phys_min_[c]) / (static_cast<double>(dig_max_) - dig_min_);
        const double digital = std::nearbyint((value - phys_min_[c]) / step) + dig_min_;
        return static_cast<int>(
            std::min(std::max(digital, static_cast<double>(dig_min_)), static_cast<double>(dig_max_)));
    }

    void RequireUsable() const {
        if (failed_) {
            Fail(id::kWriteFailed, "An earlier write to " + path_ + " failed; the file ends before it.");
        }
    }

    // One data record, then the file flushed and its record count set.
    void WriteRecord() {
        if (edf_blockwrite_digital_samples(handle_, record_.data()) != 0) {
            failed_ = true;
            Fail(id::kWriteFailed, "Writing data record " + std::to_string(records_ + 1) + " of " + path_ + " failed.");
        }
        ++records_;
        pending_ = 0;
        const std::string count = RecordCountField(records_);
        // EDFlib's stream is not reachable from here: flush them all.
        if (std::fflush(nullptr) != 0 || ::pwrite(count_fd_, count.data(), kRecordCountWidth, kRecordCountOffset) !=
                                             static_cast<ssize_t>(kRecordCountWidth)) {
            failed_ = true;
            Fail(id::kWriteFailed, "Updating the header of " + path_ + " failed: " + std::strerror(errno) + ".");
        }
    }

    bool CloseHandles() noexcept {
        bool ok = true;
        if (count_fd_ >= 0) {
            ok = ::close(count_fd_) == 0;
            count_fd_ = -1;
        }
        if (handle_ >= 0) {
            ok = edfclose_file(handle_) == 0 && ok;
            handle_ = -1;
        }
        return ok;
    }

    std::string path_;
    bool bdf_ = true;
    size_t channels_ = 0;
    long long rate_ = 0, spr_ = 0, record_us_ = 0;
    int annotation_signals_ = 1;
    std::vector<double> phys_min_, phys_max_;
    int handle_ = -1;
    int count_fd_ = -1;
    int dig_min_ = 0, dig_max_ = 0;
    std::vector<int> record_;  // one data record, signal after signal
    size_t pending_ = 0;
    long long records_ = 0;
    long long clipped_ = 0;
    bool failed_ = false;
};

std::map<int, std::unique_ptr<Writer>>& Writers() {
    static std::map<int, std::unique_ptr<Writer>> writers;
    return writers;
}

int g_next_handle = 1;

// The open file under the handle `value`. The number is checked to be a
// whole number within the handles' range before it is converted.
std::map<int, std::unique_ptr<Writer>>::iterator FindWriter(const mxArray* value) {
    const double number = Scalar(value, "The file handle");
    if (number != std::floor(number) || number < 1 || number >= static_cast<double>(g_next_handle)) {
        Fail(id::kNotOpen, "No file is open under this handle.");
    }
    const auto it = Writers().find(static_cast<int>(number));
    if (it == Writers().end()) {
        Fail(id::kNotOpen, "No file is open under this handle.");
    }
    return it;
}

std::vector<Annotation> ReadAnnotations(const mxArray* s) {
    std::vector<Annotation> out;
    if (s == nullptr || mxIsEmpty(s)) {
        return out;
    }
    const mxArray* onsets = Field(s, "onset", true);
    const mxArray* texts = Field(s, "text", true);
    const double* p = Doubles(onsets, "\"onset\"");
    const size_t n = mxGetNumberOfElements(onsets);
    if (!mxIsCell(texts) || mxGetNumberOfElements(texts) != n) {
        Fail(id::kInvalidArgument, "\"text\" must be a cell with one text per onset.");
    }
    for (size_t k = 0; k < n; ++k) {
        if (!(p[k] >= 0.0) || !std::isfinite(p[k])) {
            Fail(id::kInvalidArgument, "Annotation onsets must be finite and not negative.");
        }
        out.push_back({p[k], Text(mxGetCell(texts, k), "An annotation text")});
        if (out.back().text.empty()) {
            Fail(id::kInvalidArgument, "Annotation texts must not be empty.");
        }
    }
    return out;
}

MxPtr MakeReport(const Writer::Report& r) {
    const char* names[] = {"records",
                           "samples",
                           "padded_samples",
                           "clipped_samples",
                           "annotations_written",
                           "annotations_not_written",
                           "annotations_shortened"};
    const double values[] = {static_cast<double>(r.records),  static_cast<double>(r.samples),
                             static_cast<double>(r.padded),   static_cast<double>(r.clipped),
                             static_cast<double>(r.written),  static_cast<double>(r.not_written),
                             static_cast<double>(r.shortened)};
    MxPtr s = Created(mxCreateStructMatrix(1, 1, 7, names));
    for (int k = 0; k < 7; ++k) {
        mxSetField(s.get(), 0, names[k], Created(mxCreateDoubleScalar(values[k])).release());
    }
    return s;
}

// ---- reading ---------------------------------------------------------------

struct FileCloser {
    void operator()(FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// A temporary file removed when this goes out of scope.
struct TempFile {
    std::string path;
    ~TempFile() {
        if (!path.empty()) {
            std::remove(path.c_str());
        }
    }
};

bool HeaderNumber(const char* header, size_t offset, size_t width, long long& out) {
    std::string field(header + offset, width);
    const size_t end = field.find_last_not_of(' ');
    if (end == std::string::npos) {
        return false;
    }
    field.resize(end + 1);
    char* stop = nullptr;
    errno = 0;
    out = std::strtoll(field.c_str(), &stop, 10);
    return errno == 0 && stop != nullptr && *stop == '\0';
}

// A file whose writer died ends inside a data record, and its record count
// may be behind. EDFlib refuses such a file, so its whole records are copied
// to a temporary file with the count set, which EDFlib then reads. Returns
// the number of whole records (0 when the file is not such a file).
long long CopyWholeRecords(const std::string& path, TempFile& copy) {
    FilePtr in(std::fopen(path.c_str(), "rb"));
    char fixed[256];
    if (!in || std::fread(fixed, 1, sizeof(fixed), in.get()) != sizeof(fixed)) {
        return 0;
    }
    const bool bdf = static_cast<unsigned char>(fixed[0]) == 0xFF && std::memcmp(fixed + 1, "BIOSEMI", 7) == 0;
    long long header_bytes = 0, stated = 0, signals = 0;
    if (!HeaderNumber(fixed, 184, 8, header_bytes) || !HeaderNumber(fixed, 236, 8, stated) ||
        !HeaderNumber(fixed, 252, 4, signals) || signals < 1 || signals > 4096 || header_bytes != 256 * (signals + 1)) {
        return 0;
    }
    std::vector<char> header(static_cast<size_t>(header_bytes));
    std::memcpy(header.data(), fixed, sizeof(fixed));
    if (std::fread(header.data() + 256, 1, header.size() - 256, in.get()) != header.size() - 256) {
        return 0;
    }
    long long record_bytes = 0;
    for (long long s = 0; s < signals; ++s) {
        long long samples = 0;
        if (!HeaderNumber(header.data(), static_cast<size_t>(256 + signals * 216 + s * 8), 8, samples) || samples < 1) {
            return 0;
        }
        record_bytes += samples * (bdf ? 3 : 2);
    }
    if (std::fseek(in.get(), 0, SEEK_END) != 0) {
        return 0;
    }
    const long long size = std::ftell(in.get());
    const long long whole = (size - header_bytes) / record_bytes;
    if (whole < 1 || (whole == stated && size == header_bytes + whole * record_bytes)) {
        return 0;
    }
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/kx_edf_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return 0;
    }
    copy.path = name.data();
    FilePtr out(::fdopen(fd, "wb"));
    if (!out) {
        ::close(fd);
        return 0;
    }
    std::memcpy(header.data() + kRecordCountOffset, RecordCountField(whole).c_str(), kRecordCountWidth);
    bool ok = std::fwrite(header.data(), 1, header.size(), out.get()) == header.size() &&
              std::fseek(in.get(), header_bytes, SEEK_SET) == 0;
    std::vector<char> block(1 << 20);
    for (long long left = whole * record_bytes; ok && left > 0;) {
        const size_t n = static_cast<size_t>(std::min<long long>(left, static_cast<long long>(block.size())));
        ok = std::fread(block.data(), 1, n, in.get()) == n && std::fwrite(block.data(), 1, n, out.get()) == n;
        left -= static_cast<long long>(n);
    }
    ok = std::fflush(out.get()) == 0 && ok;
    return ok ? whole : 0;
}

struct ReadHandle {
    int handle = -1;
    ~ReadHandle() {
        if (handle >= 0) {
            edfclose_file(handle);
        }
    }
};

std::string FileTypeName(int type) {
    switch (type) {
        case EDFLIB_FILETYPE_EDF: return "EDF";
        case EDFLIB_FILETYPE_EDFPLUS: return "EDF+";
        case EDFLIB_FILETYPE_BDF: return "BDF";
        case EDFLIB_FILETYPE_BDFPLUS: return "BDF+";
        default: return "unknown";
    }
}

std::string Trimmed(const char* text) {
    std::string s(text);
    const size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

MxPtr MakeText(const std::string& text) {
    return Created(mxCreateString(text.c_str()));
}

MxPtr MakeRow(const std::vector<double>& values) {
    MxPtr row = Created(mxCreateDoubleMatrix(1, values.size(), mxREAL));
    if (!values.empty()) {
        std::memcpy(mxGetDoubles(row.get()), values.data(), values.size() * sizeof(double));
    }
    return row;
}

MxPtr MakeTexts(const std::vector<std::string>& texts) {
    MxPtr cell = Created(mxCreateCellMatrix(1, texts.size()));
    for (size_t k = 0; k < texts.size(); ++k) {
        mxSetCell(cell.get(), k, MakeText(texts[k]).release());
    }
    return cell;
}

MxPtr Read(const std::string& path) {
    // The header struct is large (hundreds of kilobytes): not on the stack.
    auto hdr = std::make_unique<edf_hdr_struct>();
    TempFile copy;
    long long whole = 0;
    ReadHandle file;
    if (edfopen_file_readonly(path.c_str(), hdr.get(), EDFLIB_READ_ALL_ANNOTATIONS) != 0) {
        const int code = hdr->filetype;
        if (code == EDFLIB_FILE_CONTAINS_FORMAT_ERRORS) {
            whole = CopyWholeRecords(path, copy);
        }
        if (whole == 0 || edfopen_file_readonly(copy.path.c_str(), hdr.get(), EDFLIB_READ_ALL_ANNOTATIONS) != 0) {
            Fail(code == EDFLIB_NO_SUCH_FILE_OR_DIRECTORY ? id::kOpenFailed : id::kReadFailed,
                 "Cannot read " + path + ": " + OpenErrorText(code) + ".");
        }
    }
    file.handle = hdr->handle;

    const size_t signals = static_cast<size_t>(std::max(hdr->edfsignals, 0));
    std::vector<std::string> labels, units;
    std::vector<double> rates, phys_min, phys_max, dig_min, dig_max;
    MxPtr data = Created(mxCreateCellMatrix(1, signals));
    for (size_t s = 0; s < signals; ++s) {
        const edf_param_struct& p = hdr->signalparam[s];
        labels.push_back(Trimmed(p.label));
        units.push_back(Trimmed(p.physdimension));
        rates.push_back(hdr->datarecord_duration > 0
                            ? static_cast<double>(p.smp_in_datarecord) * static_cast<double>(EDFLIB_TIME_DIMENSION) /
                                  static_cast<double>(hdr->datarecord_duration)
                            : 0.0);
        phys_min.push_back(p.phys_min);
        phys_max.push_back(p.phys_max);
        dig_min.push_back(p.dig_min);
        dig_max.push_back(p.dig_max);
        const long long n = std::max(p.smp_in_file, 0LL);
        MxPtr row = Created(mxCreateDoubleMatrix(1, static_cast<size_t>(n), mxREAL));
        double* out = mxGetDoubles(row.get());
        for (long long done = 0; done < n;) {
            const int block = static_cast<int>(std::min<long long>(n - done, 1 << 20));
            if (edfread_physical_samples(file.handle, static_cast<int>(s), block, out + done) != block) {
                Fail(id::kReadFailed,
                     "Cannot read the samples of signal " + std::to_string(s + 1) + " of " + path + ".");
            }
            done += block;
        }
        mxSetCell(data.get(), s, row.release());
    }

    std::vector<double> onsets, durations;
    std::vector<std::string> texts;
    for (long long k = 0; k < hdr->annotations_in_file; ++k) {
        edf_annotation_struct a{};
        if (edf_get_annotation(file.handle, static_cast<int>(k), &a) != 0) {
            Fail(id::kReadFailed, "Cannot read annotation " + std::to_string(k + 1) + " of " + path + ".");
        }
        onsets.push_back(static_cast<double>(a.onset) / static_cast<double>(EDFLIB_TIME_DIMENSION));
        durations.push_back(
            a.duration_l < 0 ? NAN : static_cast<double>(a.duration_l) / static_cast<double>(EDFLIB_TIME_DIMENSION));
        texts.push_back(a.annotation);
    }

    std::tm start{};
    start.tm_year = hdr->startdate_year - 1900;
    start.tm_mon = hdr->startdate_month - 1;
    start.tm_mday = hdr->startdate_day;
    start.tm_hour = hdr->starttime_hour;
    start.tm_min = hdr->starttime_minute;
    start.tm_sec = hdr->starttime_second;
    start.tm_isdst = -1;
    const double start_time = static_cast<double>(std::mktime(&start)) + static_cast<double>(hdr->starttime_subsecond) /
                                                                             static_cast<double>(EDFLIB_TIME_DIMENSION);

    const char* names[] = {"file_type",
                           "labels",
                           "units",
                           "sample_rates",
                           "physical_min",
                           "physical_max",
                           "digital_min",
                           "digital_max",
                           "data",
                           "start_time",
                           "records",
                           "record_duration",
                           "annotation_onsets",
                           "annotation_durations",
                           "annotation_texts",
                           "patient",
                           "recording",
                           "patient_code",
                           "patient_name",
                           "equipment",
                           "recording_additional",
                           "cut"};
    constexpr int kFields = sizeof(names) / sizeof(names[0]);
    MxPtr out = Created(mxCreateStructMatrix(1, 1, kFields, names));
    const bool plus = hdr->filetype == EDFLIB_FILETYPE_EDFPLUS || hdr->filetype == EDFLIB_FILETYPE_BDFPLUS;
    mxSetField(out.get(), 0, "file_type", MakeText(FileTypeName(hdr->filetype)).release());
    mxSetField(out.get(), 0, "labels", MakeTexts(labels).release());
    mxSetField(out.get(), 0, "units", MakeTexts(units).release());
    mxSetField(out.get(), 0, "sample_rates", MakeRow(rates).release());
    mxSetField(out.get(), 0, "physical_min", MakeRow(phys_min).release());
    mxSetField(out.get(), 0, "physical_max", MakeRow(phys_max).release());
    mxSetField(out.get(), 0, "digital_min", MakeRow(dig_min).release());
    mxSetField(out.get(), 0, "digital_max", MakeRow(dig_max).release());
    mxSetField(out.get(), 0, "data", data.release());
    mxSetField(out.get(), 0, "start_time", Created(mxCreateDoubleScalar(start_time)).release());
    mxSetField(out.get(), 0, "records",
               Created(mxCreateDoubleScalar(static_cast<double>(hdr->datarecords_in_file))).release());
    mxSetField(out.get(), 0, "record_duration",
               Created(mxCreateDoubleScalar(static_cast<double>(hdr->datarecord_duration) /
                                            static_cast<double>(EDFLIB_TIME_DIMENSION)))
                   .release());
    mxSetField(out.get(), 0, "annotation_onsets", MakeRow(onsets).release());
    mxSetField(out.get(), 0, "annotation_durations", MakeRow(durations).release());
    mxSetField(out.get(), 0, "annotation_texts", MakeTexts(texts).release());
    mxSetField(out.get(), 0, "patient", MakeText(plus ? "" : Trimmed(hdr->patient)).release());
    mxSetField(out.get(), 0, "recording", MakeText(plus ? "" : Trimmed(hdr->recording)).release());
    mxSetField(out.get(), 0, "patient_code", MakeText(Trimmed(hdr->patientcode)).release());
    mxSetField(out.get(), 0, "patient_name", MakeText(Trimmed(hdr->patient_name)).release());
    mxSetField(out.get(), 0, "equipment", MakeText(Trimmed(hdr->equipment)).release());
    mxSetField(out.get(), 0, "recording_additional", MakeText(Trimmed(hdr->recording_additional)).release());
    mxSetField(out.get(), 0, "cut", Created(mxCreateLogicalScalar(whole > 0)).release());
    return out;
}

// ---- commands --------------------------------------------------------------

void CloseAllAtExit() {
    Writers().clear();  // each writer closes its file
}

void RegisterAtExit() {
    static bool registered = false;
    if (!registered) {
        mexAtExit(CloseAllAtExit);
        registered = true;
    }
}

void RequireArguments(int nrhs, int expected, const std::string& command) {
    if (nrhs != expected) {
        Fail(id::kInvalidArgument, "'" + command + "' takes " + std::to_string(expected - 1) + " arguments.");
    }
}

void Dispatch(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    RegisterAtExit();
    if (nrhs < 1 || !mxIsChar(prhs[0])) {
        Fail(id::kInvalidArgument, "The first argument must be a command: 'open', 'write', 'close' or 'read'.");
    }
    if (nlhs > 1) {
        Fail(id::kInvalidArgument, "At most one output.");
    }
    const std::string command = Text(prhs[0], "The command");
    MxPtr result;
    if (command == "open") {
        RequireArguments(nrhs, 3, command);
        auto writer = std::make_unique<Writer>(Text(prhs[1], "The path"), prhs[2]);
        const int handle = g_next_handle++;
        Writers()[handle] = std::move(writer);
        result = Created(mxCreateDoubleScalar(handle));
    } else if (command == "write") {
        RequireArguments(nrhs, 3, command);
        Writer& writer = *FindWriter(prhs[1])->second;
        const double* data = Doubles(prhs[2], "The data");
        if (data != nullptr && mxGetM(prhs[2]) != writer.channels()) {
            Fail(id::kInvalidArgument,
                 "The data must have one row per channel (" + std::to_string(writer.channels()) + ").");
        }
        if (data != nullptr) {
            writer.Append(data, mxGetN(prhs[2]));
        }
        result = writer.Status();
    } else if (command == "close") {
        RequireArguments(nrhs, 3, command);
        const auto it = FindWriter(prhs[1]);
        std::vector<Annotation> annotations = ReadAnnotations(prhs[2]);
        std::unique_ptr<Writer> writer = std::move(it->second);
        Writers().erase(it);
        result = MakeReport(writer->Finish(std::move(annotations)));
    } else if (command == "read") {
        RequireArguments(nrhs, 2, command);
        result = Read(Text(prhs[1], "The path"));
    } else {
        Fail(id::kUnsupportedCommand, "Unsupported command: " + command + ".");
    }
    if (nlhs == 1) {
        plhs[0] = result.release();
    }
}

// Identifier and message of the failure being raised; they outlive the
// call's objects.
std::string g_identifier;
std::string g_message;

bool RunGuarded(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) noexcept {
    try {
        try {
            Dispatch(nlhs, plhs, nrhs, prhs);
            return false;
        } catch (const Failure& failure) {
            g_identifier = failure.identifier;
            g_message = failure.what();
        } catch (const std::exception& error) {
            g_identifier = id::kInternal;
            g_message = error.what();
        } catch (...) {
            g_identifier = id::kInternal;
            g_message = "Unknown native exception.";
        }
    } catch (...) {  // storing the message itself failed
        g_identifier.clear();
        g_message.clear();
    }
    return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void mexFunction(int nlhs, mxArray* plhs[], int nrhs,
                                                                   const mxArray* prhs[]) {
    if (RunGuarded(nlhs, plhs, nrhs, prhs)) {
        mexErrMsgIdAndTxt(g_identifier.empty() ? id::kInternal : g_identifier.c_str(), "%s",
                          g_message.empty() ? "Out of memory." : g_message.c_str());
    }
}

// MATLAB reads this to learn the API the file was built for: release R2025b,
// MEX API version 800 (interleaved complex), as for kx_core_mex.
extern "C" __attribute__((visibility("default"))) void mexfilerequiredapiversion(unsigned int* built_by_release,
                                                                                 unsigned int* target_api_version) {
    *built_by_release = 0x0002025B;
    *target_api_version = 0x08000000;
}
