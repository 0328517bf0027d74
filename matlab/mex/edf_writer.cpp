#include "edf_writer.h"

#include <edflib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "edf_failure.h"
#include "edf_format.h"

namespace kxedf {
namespace {

// "Startdate dd-MMM-yyyy X X ", the equipment, a space and the start word
// fill the recording field's 80 characters with this much equipment.
constexpr size_t kMaxEquipmentBytes = 39;

long long FieldNumber(const std::string& bytes, size_t offset, size_t width) {
    const std::string field = Trimmed(bytes.substr(offset, width).c_str());
    char* stop = nullptr;
    const long long value = std::strtoll(field.c_str(), &stop, 10);
    return (field.empty() || *stop != '\0') ? -1 : value;
}

// The recording field EDFlib wrote ("Startdate", date, admin code,
// technician, equipment, additional text) with the start word put first
// into the additional text, which EDFlib would have cut short for it; *at:
// where the word begins.
std::string WithStartWord(const std::string& field, const std::string& word, size_t* at) {
    const std::string text = Trimmed(field.c_str());
    size_t end = 0;
    for (int token = 0; token < 5 && end < text.size(); ++token) {
        end = std::min(text.find(' ', text.find_first_not_of(' ', end)), text.size());
    }
    *at = end + 1;
    std::string out = text.substr(0, end) + " " + word + text.substr(end);
    out.resize(kRecordingFieldWidth, ' ');
    return out;
}

}  // namespace

long long SamplesPerRecord(long long rate, long long total) {
    if (total < 1) {
        return rate;
    }
    long long best = 0;
    for (long long d = 1; d <= std::min(rate, total); ++d) {
        if (total % d == 0 && RecordMicroseconds(d, rate) != 0) {
            best = d;
        }
    }
    return (best > 0 && (best * 20 >= rate || total <= rate)) ? best : rate;
}

int AnnotationSignals(long long total, long long samples_per_record, long long annotations) {
    if (total < 1) {
        return 1;
    }
    const long long records = (total + samples_per_record - 1) / samples_per_record;
    return static_cast<int>(std::min(64LL, std::max(1LL, (annotations + records) / records)));
}

Writer::Writer(const std::string& path, WriterSettings settings)
    : path_(path),
      bdf_(settings.bdf),
      channels_(settings.labels.size()),
      rate_(settings.sample_rate),
      phys_min_(std::move(settings.physical_min)),
      phys_max_(std::move(settings.physical_max)) {
    if (channels_ == 0) {
        Fail(id::kInvalidArgument, "\"labels\" must be a non-empty cell of character rows.");
    }
    if (rate_ < 1 || rate_ > 1000000) {
        Fail(id::kInvalidArgument, "\"sample_rate\" must be an integer from 1 to 1000000.");
    }
    if (phys_min_.size() != channels_ || phys_max_.size() != channels_) {
        Fail(id::kInvalidArgument, "The physical range must hold one value per channel.");
    }
    spr_ = SamplesPerRecord(rate_, settings.total_samples);
    annotation_signals_ = AnnotationSignals(settings.total_samples, spr_, settings.annotations);
    record_us_ = RecordMicroseconds(spr_, rate_);
    for (size_t c = 0; c < channels_; ++c) {
        phys_min_[c] = HeaderLimit(phys_min_[c], false);
        phys_max_[c] = HeaderLimit(phys_max_[c], true);
        if (!(phys_min_[c] < phys_max_[c])) {
            Fail(id::kInvalidArgument, "\"physical_min\" must be below \"physical_max\".");
        }
    }
    const StartTime start = LocalStartTime(settings.start_time);
    start_whole_ = std::floor(settings.start_time);
    start_word_ = StartOffsetText(settings.start_time - start_whole_);

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
             edf_set_label(handle_, s, settings.labels[c].c_str()) == 0 &&
             edf_set_physical_dimension(handle_, s, settings.unit.c_str()) == 0;
    }
    ok = ok && record_us_ > 0 &&
         (record_us_ < 10000 ? edf_set_micro_datarecord_duration(handle_, static_cast<int>(record_us_))
                             : edf_set_datarecord_duration(handle_, static_cast<int>(record_us_ / 10))) == 0;
    ok = ok && edf_set_number_of_annotation_signals(handle_, annotation_signals_) == 0 &&
         edf_set_startdatetime(handle_, start.year, start.month, start.day, start.hour, start.minute,
                               start.second) == 0 &&
         edf_set_subsecond_starttime(handle_, 0) == 0 &&
         edf_set_equipment(handle_, Utf8Prefix(settings.equipment, kMaxEquipmentBytes).c_str()) == 0 &&
         edf_set_recording_additional(handle_, settings.recording_additional.c_str()) == 0 &&
         edf_set_patientcode(handle_, settings.patient_code.c_str()) == 0 &&
         edf_set_patientname(handle_, settings.patient_name.c_str()) == 0;
    if (ok) {
        fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    }
    if (!ok || fd_ < 0) {
        // A throwing constructor runs no destructor: release the file here.
        const std::string reason = ok ? std::strerror(errno) : "EDFlib refused the header";
        CloseHandles();
        std::remove(path_.c_str());
        Fail(ok ? id::kOpenFailed : id::kInvalidArgument, "Cannot write " + path_ + ": " + reason + ".");
    }
    record_.assign(channels_ * static_cast<size_t>(spr_), 0);
}

Writer::~Writer() {
    if (handle_ >= 0) {
        try {
            Finish({});
        } catch (...) {
        }
    }
    CloseHandles();
}

void Writer::Append(const double* data, size_t samples) {
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

void Writer::Annotate(const std::vector<Annotation>& annotations) {
    RequireUsable();
    for (const Annotation& a : annotations) {
        AnnotationTal(a.onset_s, a.text);  // refuses an onset before any is queued
    }
    for (const Annotation& a : annotations) {
        queue_.push_back({a.onset_s, Cleaned(a.text, &shortened_)});
    }
    PlaceQueued();
}

Writer::Status Writer::status() const {
    Status s;
    s.records = records_;
    s.samples = records_ * spr_ + static_cast<long long>(pending_);
    s.pending = static_cast<long long>(pending_);
    s.clipped = clipped_;
    s.annotations_written = placed_;
    s.annotations_pending = queue_.size();
    return s;
}

void Writer::Check(const Final& final) const {
    if (final.has_start) {
        StartOffsetText(final.start_time - start_whole_);
    }
    for (const Annotation& a : final.annotations) {
        AnnotationTal(a.onset_s, a.text);
    }
}

Writer::Report Writer::Finish(const Final& final) {
    Check(final);
    Report report;
    report.samples = records_ * spr_ + static_cast<long long>(pending_);
    report.shortened = final.replace ? 0 : shortened_;
    std::vector<Annotation> list;
    if (final.replace) {
        for (const Annotation& a : final.annotations) {
            list.push_back({a.onset_s, Cleaned(a.text, &report.shortened)});
        }
    }
    list.insert(list.end(), queue_.begin(), queue_.end());
    queue_.clear();
    std::stable_sort(list.begin(), list.end(),
                     [](const Annotation& a, const Annotation& b) { return a.onset_s < b.onset_s; });
    if (pending_ > 0 && !failed_) {
        report.padded = spr_ - static_cast<long long>(pending_);
        for (size_t c = 0; c < channels_; ++c) {
            std::fill(record_.begin() + static_cast<std::ptrdiff_t>(c * static_cast<size_t>(spr_) + pending_),
                      record_.begin() + static_cast<std::ptrdiff_t>((c + 1) * static_cast<size_t>(spr_)),
                      Digital(0.0, c, false));
        }
        WriteRecord();
        list.push_back({static_cast<double>(report.samples) / static_cast<double>(rate_), kRecordingEnds});
    }
    report.written = final.replace ? 0 : placed_;
    if (failed_ || !room_) {
        report.not_written = list.size();
    } else {
        // In onset order, so that readers which list annotations as they
        // find them list them in order; the end marker tells readers which
        // samples are padding, so where room runs short it goes first.
        const AnnotationRoom before = *room_;
        bool last_placed = false;
        size_t placed = Lay(list, final.replace, false, &last_placed);
        if (report.padded > 0 && !last_placed) {
            *room_ = before;
            placed = Lay(list, final.replace, true, &last_placed);
        }
        report.written += placed;
        report.not_written = list.size() - placed;
        for (long long r = 0; r < records_; ++r) {
            if (!room_->SameArea(before, r)) {
                WriteAt(room_->Area(r), AreaOffset(r) + static_cast<long long>(room_->keeping(r)),
                        "Writing annotations to");
            }
        }
    }
    report.records = records_;
    report.clipped = clipped_;
    const bool empty = records_ == 0;
    const bool was_failed = failed_;
    errno = 0;
    bool closed = edfclose_file(handle_) == 0;
    int error = errno;
    handle_ = -1;
    if (closed && final.has_start && room_ && !was_failed) {
        WriteAt(StartOffsetText(final.start_time - start_whole_), layout_.word_at, "Updating the header of");
    }
    errno = 0;
    if (::close(fd_) != 0 && closed) {
        closed = false;
        error = errno;
    }
    fd_ = -1;
    if (empty) {
        std::remove(path_.c_str());  // a header without data is no valid file
    }
    if (!closed && !was_failed) {
        FailWriting("Closing " + path_, error);
    }
    return report;
}

// The digital value of a physical one, rounded to the nearest step (EDFlib's
// own conversion truncates, which doubles the error). Values outside the
// physical range, and NaN, are clipped and counted.
int Writer::Digital(double value, size_t c, bool count) {
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

void Writer::RequireUsable() const {
    if (failed_) {
        Fail(id::kWriteFailed, "An earlier write to " + path_ + " failed; the file ends before it.");
    }
}

// One data record, then the file flushed, its record count set and the
// annotations that waited for room put into it.
void Writer::WriteRecord() {
    const std::string what = "Writing data record " + std::to_string(records_ + 1) + " of " + path_;
    errno = 0;
    // EDFlib's stream is not reachable from here: flush them all.
    const bool flushed = edf_blockwrite_digital_samples(handle_, record_.data()) == 0 && std::fflush(nullptr) == 0;
    const int error = errno;  // of a write that failed, which EDFlib does not always report
    if (!flushed) {
        FailWriting(what, error);
    }
    ++records_;
    pending_ = 0;
    const std::string count = RecordCountField(records_);
    if (::pwrite(fd_, count.data(), count.size(), kRecordCountOffset) != static_cast<ssize_t>(count.size())) {
        FailWriting(what, errno);
    }
    if (records_ == 1) {
        ReadLayout(what, error);
    }
    struct stat file {};
    if (::fstat(fd_, &file) == 0 && S_ISREG(file.st_mode) &&
        file.st_size < layout_.header_bytes + records_ * layout_.record_bytes) {
        FailWriting(what, error);
    }
    room_->AddRecord(ReadKeeping());
    PlaceQueued();
}

// Where EDFlib put the annotation signals and the start word: from the
// header it wrote with the first record.
void Writer::ReadLayout(const std::string& what, int error) {
    const size_t signals = channels_ + static_cast<size_t>(annotation_signals_);
    std::string header(256 * (signals + 1), '\0');
    if (::pread(fd_, &header[0], header.size(), 0) != static_cast<ssize_t>(header.size())) {
        FailWriting(what, error);
    }
    const long long width = bdf_ ? 3 : 2;
    const size_t first = 256 + signals * 216 + channels_ * 8;  // samples of the first annotation signal
    const long long samples = FieldNumber(header, first, 8);
    const std::string label = header.substr(256 + channels_ * 16, 15);
    if (FieldNumber(header, 184, 8) != static_cast<long long>(header.size()) ||
        FieldNumber(header, 252, 4) != static_cast<long long>(signals) || samples < 1 ||
        label != (bdf_ ? "BDF Annotations" : "EDF Annotations")) {
        failed_ = true;
        Fail(id::kInternal, "EDFlib wrote a header to " + path_ + " that this writer does not know.");
    }
    layout_.header_bytes = static_cast<long long>(header.size());
    layout_.annotations_at = static_cast<long long>(channels_) * spr_ * width;
    layout_.record_bytes = layout_.annotations_at + annotation_signals_ * samples * width;
    size_t word = 0;
    const std::string field =
        WithStartWord(header.substr(kRecordingFieldOffset, kRecordingFieldWidth), start_word_, &word);
    if (word + kStartOffsetWidth > kRecordingFieldWidth) {
        failed_ = true;
        Fail(id::kInternal, "EDFlib wrote a header to " + path_ + " that this writer does not know.");
    }
    if (::pwrite(fd_, field.data(), field.size(), kRecordingFieldOffset) != static_cast<ssize_t>(field.size())) {
        FailWriting(what, errno);
    }
    layout_.word_at = kRecordingFieldOffset + static_cast<long>(word);
    room_ = std::make_unique<AnnotationRoom>(annotation_signals_, static_cast<size_t>(samples * width));
}

// The length of the time-keeping TAL EDFlib wrote at the start of the last
// record's first annotation signal.
size_t Writer::ReadKeeping() {
    std::string signal(room_->signal_bytes(), '\0');
    if (::pread(fd_, &signal[0], signal.size(), AreaOffset(records_ - 1)) != static_cast<ssize_t>(signal.size())) {
        FailWriting("Reading back data record " + std::to_string(records_) + " of " + path_, errno);
    }
    const size_t end = signal.find('\0');
    if (signal[0] != '+' || end == std::string::npos || end < 3 || signal.compare(end - 2, 2, "\x14\x14") != 0) {
        failed_ = true;
        Fail(id::kInternal, "EDFlib wrote a data record to " + path_ + " that this writer does not know.");
    }
    return end + 1;
}

std::string Writer::Cleaned(const std::string& text, size_t* shortened) const {
    std::string cut = Utf8Prefix(text, kMaxAnnotationBytes);
    if (cut.size() < text.size()) {
        ++*shortened;
    }
    return cut;
}

long long Writer::RecordOf(double onset_s) const {
    const double record = std::floor(onset_s * static_cast<double>(rate_) / static_cast<double>(spr_));
    return record < 0 ? 0 : record > 1e15 ? 1000000000000000LL : static_cast<long long>(record);
}

// The annotations of list put into the room (emptied first when they
// replace what it holds), the last one first when asked; how many found room.
size_t Writer::Lay(const std::vector<Annotation>& list, bool replace, bool last_first, bool* last_placed) {
    if (replace) {
        room_->Clear();
    }
    size_t placed = 0;
    AnnotationRoom::Place at{};
    for (size_t k = 0; k < list.size(); ++k) {
        const size_t index = last_first ? (k + list.size() - 1) % list.size() : k;
        const Annotation& a = list[index];
        const bool put = room_->Put(AnnotationTal(a.onset_s, a.text), RecordOf(a.onset_s), &at);
        placed += put ? 1 : 0;
        if (index + 1 == list.size()) {
            *last_placed = put;
        }
    }
    return placed;
}

long long Writer::AreaOffset(long long record) const {
    return layout_.header_bytes + record * layout_.record_bytes + layout_.annotations_at;
}

void Writer::PlaceQueued() {
    if (!room_ || failed_) {
        return;
    }
    size_t kept = 0;
    for (size_t k = 0; k < queue_.size(); ++k) {
        const std::string tal = AnnotationTal(queue_[k].onset_s, queue_[k].text);
        AnnotationRoom::Place at{};
        if (room_->Put(tal, RecordOf(queue_[k].onset_s), &at)) {
            WriteAt(tal,
                    AreaOffset(at.record) + at.signal * static_cast<long long>(room_->signal_bytes()) +
                        static_cast<long long>(at.offset),
                    "Writing annotations to");
            ++placed_;
        } else if (kept++ != k) {
            queue_[kept - 1] = std::move(queue_[k]);
        }
    }
    queue_.resize(kept);
}

void Writer::WriteAt(const std::string& bytes, long long offset, const char* what) {
    errno = 0;
    if (::pwrite(fd_, bytes.data(), bytes.size(), offset) != static_cast<ssize_t>(bytes.size())) {
        FailWriting(std::string(what) + " " + path_, errno);
    }
}

void Writer::FailWriting(const std::string& what, int error) {
    failed_ = true;
    Fail(id::kWriteFailed, what + " failed: " + (error != 0 ? std::strerror(error) : "no reason given") + ".");
}

bool Writer::CloseHandles() noexcept {
    bool ok = true;
    if (fd_ >= 0) {
        ok = ::close(fd_) == 0;
        fd_ = -1;
    }
    if (handle_ >= 0) {
        ok = edfclose_file(handle_) == 0 && ok;
        handle_ = -1;
    }
    return ok;
}

}  // namespace kxedf
