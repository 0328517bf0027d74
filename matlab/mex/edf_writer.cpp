#include "edf_writer.h"

#include <edflib.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "edf_failure.h"
#include "edf_format.h"

namespace kxedf {

Writer::Writer(const std::string& path, WriterSettings settings)
    : path_(path),
      bdf_(settings.bdf),
      channels_(settings.labels.size()),
      rate_(settings.sample_rate),
      spr_(settings.samples_per_record),
      annotation_signals_(settings.annotation_signals),
      phys_min_(std::move(settings.physical_min)),
      phys_max_(std::move(settings.physical_max)) {
    if (channels_ == 0) {
        Fail(id::kInvalidArgument, "\"labels\" must be a non-empty cell of character rows.");
    }
    if (rate_ < 1 || rate_ > 1000000) {
        Fail(id::kInvalidArgument, "\"sample_rate\" must be an integer from 1 to 1000000.");
    }
    if (spr_ < 1 || spr_ > 100000000) {
        Fail(id::kInvalidArgument, "\"samples_per_record\" must be an integer from 1 to 100000000.");
    }
    if (annotation_signals_ < 1 || annotation_signals_ > 64) {
        Fail(id::kInvalidArgument, "\"annotation_signals\" must be an integer from 1 to 64.");
    }
    if (phys_min_.size() != channels_ || phys_max_.size() != channels_) {
        Fail(id::kInvalidArgument, "The physical range must hold one value per channel.");
    }
    record_us_ = RecordMicroseconds(spr_, rate_);
    if (record_us_ == 0) {
        Fail(id::kInvalidArgument, "A data record of " + std::to_string(spr_) + " samples at " +
                                       std::to_string(rate_) + " Hz has no exact EDF duration.");
    }
    for (size_t c = 0; c < channels_; ++c) {
        phys_min_[c] = HeaderLimit(phys_min_[c], false);
        phys_max_[c] = HeaderLimit(phys_max_[c], true);
        if (!(phys_min_[c] < phys_max_[c])) {
            Fail(id::kInvalidArgument, "\"physical_min\" must be below \"physical_max\".");
        }
    }
    const StartTime start = LocalStartTime(settings.start_time);

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
    ok = ok && (record_us_ < 10000 ? edf_set_micro_datarecord_duration(handle_, static_cast<int>(record_us_))
                                   : edf_set_datarecord_duration(handle_, static_cast<int>(record_us_ / 10))) == 0;
    ok = ok && edf_set_number_of_annotation_signals(handle_, annotation_signals_) == 0 &&
         edf_set_startdatetime(handle_, start.year, start.month, start.day, start.hour, start.minute,
                               start.second) == 0 &&
         edf_set_subsecond_starttime(handle_, start.subsecond) == 0 &&
         edf_set_equipment(handle_, settings.equipment.c_str()) == 0 &&
         edf_set_recording_additional(handle_, settings.recording_additional.c_str()) == 0 &&
         edf_set_patientcode(handle_, settings.patient_code.c_str()) == 0 &&
         edf_set_patientname(handle_, settings.patient_name.c_str()) == 0;
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

Writer::~Writer() {
    if (handle_ >= 0) {
        try {
            Finish({});
        } catch (...) {
            CloseHandles();
        }
    }
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

Writer::Status Writer::status() const {
    Status s;
    s.records = records_;
    s.samples = records_ * spr_ + static_cast<long long>(pending_);
    s.pending = static_cast<long long>(pending_);
    s.clipped = clipped_;
    return s;
}

Writer::Report Writer::Finish(std::vector<Annotation> annotations) {
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

// One data record, then the file flushed and its record count set.
void Writer::WriteRecord() {
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

bool Writer::CloseHandles() noexcept {
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

}  // namespace kxedf
