// A BDF+/EDF+ file written through EDFlib, data record by data record.
//
// After every data record the file is flushed and the header's record count
// is set, so a process that dies leaves a file readable up to its last whole
// record. Annotations do not wait for the close either: this writer puts them
// as TALs into the annotation signals of records EDFlib has already written
// (EDFlib is given none), so they are in the file as soon as a record has
// room for them.
//
// The file starts on a whole second; the recording field's word
// "start+S.SSSSSS" states where the first sample lies after it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "edf_annotation_room.h"

namespace kxedf {

struct Annotation {
    double onset_s;  // from the first sample
    std::string text;
};

struct WriterSettings {
    bool bdf = true;                  // BDF+ (24 bit) or EDF+ (16 bit)
    std::vector<std::string> labels;  // one per channel
    long long sample_rate = 0;        // Hz, whole
    long long total_samples = 0;      // the samples the file will hold; 0: not known
    long long annotations = 0;        // annotations known in advance
    std::vector<double> physical_min, physical_max;  // one per channel
    double start_time = 0;            // of the first sample, seconds since 1970 UTC
    std::string unit, equipment, recording_additional, patient_code, patient_name;
};

// Samples per data record for total samples at rate Hz (total 0: not
// known). With the total known, the longest record that divides it, lasts
// at most 1 s and has a duration EDFlib states exactly, so that the file
// holds exactly the total; where that would make records shorter than 50 ms,
// and for a total not known, records last 1 s and the last one is padded.
long long SamplesPerRecord(long long rate, long long total);
// Annotation signals per data record: room for the annotations known in
// advance and the end marker when the number of records is known, one
// signal otherwise. Every signal holds at least one annotation of the
// longest text; short ones share it.
int AnnotationSignals(long long total, long long samples_per_record, long long annotations);

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

    // Into a written record with room at once, else with the next records.
    void Annotate(const std::vector<Annotation>& annotations);

    struct Status {
        long long records = 0, samples = 0, pending = 0, clipped = 0;
        size_t annotations_written = 0, annotations_pending = 0;
    };
    Status status() const;

    struct Final {
        bool replace = false;                 // the list below replaces what Annotate wrote
        std::vector<Annotation> annotations;  // the file's complete list
        bool has_start = false;
        double start_time = 0;                // the first sample's final time
    };
    struct Report {
        long long records = 0, samples = 0, padded = 0, clipped = 0;
        size_t written = 0, not_written = 0, shortened = 0;
    };
    // Fails as Finish would on final, changing nothing.
    void Check(const Final& final) const;
    // Completes the last record, places the annotations and closes.
    Report Finish(const Final& final);

private:
    struct Layout {
        long long header_bytes = 0, record_bytes = 0, annotations_at = 0;  // in a record
        long word_at = 0;  // of the start word in the header
    };
    int Digital(double value, size_t c, bool count);
    void RequireUsable() const;
    void WriteRecord();
    void ReadLayout(const std::string& what, int error);
    size_t ReadKeeping();
    std::string Cleaned(const std::string& text, size_t* shortened) const;
    long long RecordOf(double onset_s) const;
    size_t Lay(const std::vector<Annotation>& list, bool replace, bool last_first, bool* last_placed);
    long long AreaOffset(long long record) const;
    void PlaceQueued();
    void WriteAt(const std::string& bytes, long long offset, const char* what);
    [[noreturn]] void FailWriting(const std::string& what, int error);
    bool CloseHandles() noexcept;

    std::string path_;
    bool bdf_ = true;
    size_t channels_ = 0;
    long long rate_ = 0, spr_ = 0, record_us_ = 0;
    int annotation_signals_ = 1;
    std::vector<double> phys_min_, phys_max_;
    double start_whole_ = 0;  // the header's start time
    std::string start_word_;  // until the header is there
    int handle_ = -1;
    int fd_ = -1;  // the same file, for the header and the annotation signals
    int dig_min_ = 0, dig_max_ = 0;
    std::vector<int> record_;  // one data record, signal after signal
    size_t pending_ = 0;
    long long records_ = 0;
    long long clipped_ = 0;
    bool failed_ = false;
    Layout layout_;
    std::unique_ptr<AnnotationRoom> room_;  // from the first record on
    std::vector<Annotation> queue_;         // texts cleaned, waiting for room
    size_t placed_ = 0, shortened_ = 0;
};

}  // namespace kxedf
