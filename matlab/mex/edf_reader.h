// An EDF/EDF+/BDF/BDF+ file read whole, signals as rows in physical units.
#pragma once

#include <string>
#include <vector>

namespace kxedf {

struct FileContents {
    std::string file_type;  // "EDF", "EDF+", "BDF", "BDF+"
    std::vector<std::string> labels, units;
    std::vector<double> sample_rates, physical_min, physical_max, digital_min, digital_max;
    std::vector<std::vector<double>> data;  // one row per signal
    double start_time = 0;                  // seconds since 1970 UTC
    long long records = 0;
    double record_duration = 0;  // seconds
    std::vector<double> annotation_onsets, annotation_durations;  // seconds; NaN: no duration
    std::vector<std::string> annotation_texts;
    std::string patient, recording, patient_code, patient_name, equipment, recording_additional;
    bool cut = false;  // the file ended inside a data record; its whole records were read
};

// Fails with kestrix:file:openFailed or kestrix:file:readFailed.
FileContents Read(const std::string& path);

}  // namespace kxedf
