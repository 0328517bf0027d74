// Writes what the end-to-end tests compare the gateway's data with:
//   kxsim_signal eeg HEADSET ELECTRODES RATE_HZ SAMPLES OUT [SEED]
//       the EEG generator's frames as raw float32 (electrodes per frame)
//   kxsim_signal bdf OUT CHANNELS RATE_HZ SECONDS
//       a BDF+ recording (EDFlib) of the generator's first channels, in uV
#include <edflib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kxsim.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: kxsim_signal eeg HEADSET ELECTRODES RATE_HZ SAMPLES OUT [SEED]\n"
                 "       kxsim_signal bdf OUT CHANNELS RATE_HZ SECONDS\n");
    return 2;
}

int WriteFrames(int argc, char** argv) {
    if (argc != 7 && argc != 8) return Usage();
    kxsim::EegSettings settings;
    if (argc == 8) settings.seed = std::strtoull(argv[7], nullptr, 10);
    const int electrodes = std::atoi(argv[3]);
    kxsim::EegGenerator eeg(settings, argv[2], electrodes, std::atof(argv[4]));
    const long samples = std::atol(argv[5]);
    std::FILE* out = std::fopen(argv[6], "wb");
    if (!out || electrodes < 1 || samples < 1) return Usage();
    std::vector<float> frame(static_cast<size_t>(electrodes));
    for (long i = 0; i < samples; ++i) {
        eeg.Next(frame.data());
        std::fwrite(frame.data(), sizeof(float), frame.size(), out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

int WriteBdf(int argc, char** argv) {
    if (argc != 6) return Usage();
    const int channels = std::atoi(argv[3]);
    const int rate = std::atoi(argv[4]);
    const int seconds = std::atoi(argv[5]);
    if (channels < 1 || rate < 1 || seconds < 1) return Usage();
    const int handle = edfopen_file_writeonly(argv[2], EDFLIB_FILETYPE_BDFPLUS, channels);
    if (handle < 0) return 1;
    for (int c = 0; c < channels; ++c) {
        edf_set_samplefrequency(handle, c, rate);
        edf_set_physical_maximum(handle, c, 1000);
        edf_set_physical_minimum(handle, c, -1000);
        edf_set_digital_maximum(handle, c, 8388607);
        edf_set_digital_minimum(handle, c, -8388608);
        edf_set_physical_dimension(handle, c, "uV");
        edf_set_label(handle, c, ("EEG " + std::to_string(c + 1)).c_str());
    }
    kxsim::EegGenerator eeg({}, "recording", channels, rate);
    std::vector<std::vector<double>> second(static_cast<size_t>(channels),
                                            std::vector<double>(static_cast<size_t>(rate)));
    std::vector<float> frame(static_cast<size_t>(channels));
    for (int s = 0; s < seconds; ++s) {
        for (int i = 0; i < rate; ++i) {
            eeg.Next(frame.data());
            for (int c = 0; c < channels; ++c) second[c][i] = frame[c];
        }
        for (int c = 0; c < channels; ++c)
            if (edfwrite_physical_samples(handle, second[c].data()) != 0) return 1;
    }
    return edfclose_file(handle) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string what = argv[1];
    if (what == "eeg") return WriteFrames(argc, argv);
    if (what == "bdf") return WriteBdf(argc, argv);
    return Usage();
}
