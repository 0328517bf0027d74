// A recording the simulated headset streams (SetReplayFile), read through
// the toolbox's own EDF/BDF reader (matlab/mex/edf_reader), so that it takes
// the files kx_load takes and streams their samples as stored, unclamped.
// Internal to simsdk/; used under the world's mutex.
#ifndef KX_SIMSDK_REPLAY_H
#define KX_SIMSDK_REPLAY_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "edf_reader.h"
#include "kxsim.h"

namespace kxsim {
namespace detail {

class ReplayFile {
public:
    // The opened file, or null with the reason in *error.
    static std::shared_ptr<ReplayFile> Open(const std::string& path, std::string* error);
    ReplayFile(const ReplayFile&) = delete;
    ReplayFile& operator=(const ReplayFile&) = delete;

    const ReplayInfo& Info() const { return info_; }
    int Channels() const { return static_cast<int>(signals_.size()); }
    // Channel `channel` from sample `first` on, in microvolts, continuing
    // from the file's start wherever it ends. False when reading fails.
    bool Read(int channel, uint64_t first, size_t count, float* out);

private:
    explicit ReplayFile(const std::string& path) : file_(path) {}

    struct Signal {
        size_t edf_signal = 0;
        double to_microvolts = 1;
    };
    kxedf::EdfFile file_;
    ReplayInfo info_;
    std::vector<Signal> signals_;
    std::vector<double> scratch_;
};

// The rate code whose rate is nearest to rate_hz (by ratio).
int NearestRateCode(double rate_hz);

}  // namespace detail
}  // namespace kxsim

#endif  // KX_SIMSDK_REPLAY_H
