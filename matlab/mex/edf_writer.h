// A BDF+/EDF+ file written through EDFlib, data record by data record.
//
// After every data record the file is flushed and the header's record count
// is set, so a process that dies leaves a file readable up to its last whole
// record. EDFlib itself keeps the count at -1 and the annotations in memory
// until the file is closed; those annotations are what a crash loses.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kxedf {

struct Annotation {
    double onset_s;
    std::string text;
};

struct WriterSettings {
    bool bdf = true;                  // BDF+ (24 bit) or EDF+ (16 bit)
    std::vector<std::string> labels;  // one per channel
    long long sample_rate = 0;        // Hz, whole
    long long samples_per_record = 0;
    std::vector<double> physical_min, physical_max;  // one per channel
    double start_time = 0;            // of the first sample, seconds since 1970 UTC
    int annotation_signals = 1;
    std::string unit, equipment, recording_additional, patient_code, patient_name;
};

class Writer {
public:
    // Checks the settings and creates the file; fails with kestrix:file:*.
    Writer(const std::string& path, WriterSettings settings);
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    // Unload or exit while the file is still open: keep what was written.
    ~Writer();

    size_t channels() const { return channels_; }

    // data is channels x samples, column-major.
    void Append(const double* data, size_t samples);

    struct Status {
        long long records = 0, samples = 0, pending = 0, clipped = 0;
    };
    Status status() const;

    struct Report {
        long long records = 0, samples = 0, padded = 0, clipped = 0;
        size_t written = 0, not_written = 0, shortened = 0;
    };
    // Completes the last record, writes the annotations that fit and closes.
    Report Finish(std::vector<Annotation> annotations);

private:
    int Digital(double value, size_t c, bool count);
    void RequireUsable() const;
    void WriteRecord();
    bool CloseHandles() noexcept;

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

}  // namespace kxedf
