// Recordings streamed by the simulated headset.
#include "replay.h"

#include "edf_failure.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "world.h"

namespace kxsim {
namespace detail {
namespace {

constexpr int kMaxChannels = 255;  // the headset's electrode count is one byte

// Factor from the file's physical unit to microvolts; units that are not
// volts stream unscaled.
double MicrovoltsPer(const std::string& unit) {
    std::string u;
    for (const char* c = unit.c_str(); *c; ++c)
        if (!std::isspace(static_cast<unsigned char>(*c)))
            u += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    if (u == "uv" || u == "\xb5v" || u == "\xc2\xb5v") return 1.0;
    if (u == "mv") return 1e3;
    if (u == "v") return 1e6;
    if (u == "nv") return 1e-3;
    return 1.0;
}

}  // namespace

int NearestRateCode(double rate_hz) {
    int best = KX_RATE_250;
    double best_distance = INFINITY;
    for (int code = KX_RATE_16000; code <= KX_RATE_250; ++code) {
        const double distance = std::fabs(std::log(rate_hz / RateHz(code)));
        if (distance < best_distance) {
            best = code;
            best_distance = distance;
        }
    }
    return best;
}

std::shared_ptr<ReplayFile> ReplayFile::Open(const std::string& path, std::string* error) {
    std::shared_ptr<ReplayFile> file;
    try {
        file.reset(new ReplayFile(path));
    } catch (const kxedf::Failure& failure) {
        *error = failure.what();
        return nullptr;
    }
    const kxedf::FileInfo& f = file->file_.info();
    file->info_.path = path;
    if (f.signals.empty()) {
        *error = path + " has no signals";
        return nullptr;
    }
    const long long per_record = f.signals[0].samples_per_record;
    for (size_t s = 0; s < f.signals.size(); ++s) {
        if (f.signals[s].samples_per_record != per_record) continue;
        file->signals_.push_back({s, MicrovoltsPer(f.signals[s].unit)});
        file->info_.labels.push_back(f.signals[s].label);
    }
    file->info_.file_rate_hz = f.signals[0].sample_rate;
    file->info_.samples = static_cast<uint64_t>(f.records * per_record);
    if (file->signals_.size() > static_cast<size_t>(kMaxChannels)) {
        *error = path + " has " + std::to_string(file->signals_.size()) +
                 " signals at one rate; a headset has at most " + std::to_string(kMaxChannels);
        return nullptr;
    }
    if (file->info_.samples == 0 || !(file->info_.file_rate_hz > 0)) {
        *error = path + " holds no samples";
        return nullptr;
    }
    file->info_.rate_code = NearestRateCode(file->info_.file_rate_hz);
    return file;
}

bool ReplayFile::Read(int channel, uint64_t first, size_t count, float* out) {
    const Signal& signal = signals_.at(static_cast<size_t>(channel));
    const uint64_t total = info_.samples;
    uint64_t at = first % total;
    try {
        while (count > 0) {
            const size_t run = static_cast<size_t>(std::min<uint64_t>(count, total - at));
            scratch_.resize(run);
            file_.ReadSamples({signal.edf_signal}, static_cast<long long>(at), static_cast<long long>(run),
                              scratch_.data(), nullptr);
            for (size_t i = 0; i < run; ++i) out[i] = static_cast<float>(scratch_[i] * signal.to_microvolts);
            out += run;
            count -= run;
            at = 0;
        }
    } catch (const kxedf::Failure&) {
        return false;
    }
    return true;
}

}  // namespace detail
}  // namespace kxsim
