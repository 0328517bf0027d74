// EDF, EDF+, BDF and BDF+ files read as other readers of these formats read
// them: header numbers may carry spaces on either side, samples outside a
// signal's declared digital range are converted by the linear formula as
// stored (never clamped) and counted, and a file whose writer died inside a
// data record is read up to its last whole record. Everything else that does
// not fit the format fails with kestrix:file:readFailed naming the field and
// the value at fault.
//
// Opening a file reads its header and, from every data record, its
// annotation signals (the annotations and each record's onset); the samples
// are read on demand, only the records and signals a window needs.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kxedf {

struct Signal {
    std::string label, unit, transducer, prefiltering;
    double physical_min = 0, physical_max = 0, digital_min = 0, digital_max = 0;
    long long samples_per_record = 0;
    double sample_rate = 0;  // Hz; a whole number where it is one to 1e-9
};

struct FileInfo {
    std::string file_type;  // "EDF", "EDF+", "BDF", "BDF+"
    bool discontinuous = false;  // EDF+D/BDF+D
    std::vector<Signal> signals;  // the ordinary signals; annotation signals are not among them
    double start_time = 0;        // of the first sample, seconds since 1970 UTC
    long long records = 0;        // the whole data records read
    double record_duration = 0;   // seconds
    // Each record's onset in seconds from the first sample: from the
    // time-keeping annotations (EDF+/BDF+), k x record_duration otherwise.
    std::vector<double> record_onsets;
    // In file order; onsets in seconds from the first sample, durations NaN
    // where the annotation states none.
    std::vector<double> annotation_onsets, annotation_durations;
    std::vector<std::string> annotation_texts;
    // patient and recording: the raw fields of an EDF/BDF file (empty for
    // EDF+/BDF+, whose subfields follow); recording_additional without the
    // exact-start word.
    std::string patient, recording, patient_code, patient_name, equipment, recording_additional;
    bool cut = false;  // the file does not end where its header says: its whole records were read
};

class EdfFile {
public:
    // Fails with kestrix:file:openFailed or kestrix:file:readFailed. Without
    // annotations the annotation signals are not read: no annotations, and
    // the records' onsets are k x record_duration.
    explicit EdfFile(const std::string& path, bool annotations = true);
    ~EdfFile();
    EdfFile(const EdfFile&) = delete;
    EdfFile& operator=(const EdfFile&) = delete;

    const FileInfo& info() const { return info_; }

    // Samples [first, first + count) of the ordinary signals `signals`
    // (0-based, all at one rate) into out, a signals.size() x count matrix
    // stored column by column, in physical units. out_of_range[k] (when not
    // null) is increased by the samples of signals[k] read whose digital
    // value lies outside the declared range. Safe to call from several
    // threads at once.
    void ReadSamples(const std::vector<size_t>& signals, long long first, long long count, double* out,
                     long long* out_of_range) const;

private:
    struct Layout {
        long long offset = 0;  // bytes from the start of a data record
        double scale = 0, shift = 0;
        int low = 0, high = 0;  // the declared digital range as integers
    };
    [[noreturn]] void Failed(const std::string& why) const;
    void ReadHeader();
    void ReadAnnotations(bool wanted);
    long long Pread(unsigned char* buffer, long long bytes, long long offset) const;

    std::string path_;
    int fd_ = -1;
    int sample_bytes_ = 2;
    long long data_offset_ = 0, record_bytes_ = 0;
    bool has_start_word_ = false;
    double start_word_ = 0;
    std::vector<Layout> layout_;                             // per ordinary signal
    std::vector<std::pair<long long, long long>> notes_at_;  // annotation signals: offset, bytes
    FileInfo info_;
};

// The ordinary signals at the rate most of them share (the higher rate on a tie).
std::vector<size_t> SignalsAtCommonRate(const FileInfo& info);

// The samples i (0-based) of `total` with t0 <= i / rate < t1: [*first, *end).
void SampleWindow(double rate, long long total, double t0, double t1, long long* first, long long* end);

// The 1-based sample of each annotation at samples_per_record per record,
// placed by the record onsets at the nearest sample; NaN where its onset
// falls in no record.
std::vector<double> AnnotationSamples(const FileInfo& info, long long samples_per_record);

}  // namespace kxedf
