// Recordings streamed by the simulated headset, read through EDFlib.
#include "replay.h"

#include <edflib.h>

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
double MicrovoltsPer(const char* unit) {
    std::string u;
    for (const char* c = unit; *c; ++c)
        if (!std::isspace(static_cast<unsigned char>(*c)))
            u += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    if (u == "uv" || u == "\xb5v" || u == "\xc2\xb5v") return 1.0;
    if (u == "mv") return 1e3;
    if (u == "v") return 1e6;
    if (u == "nv") return 1e-3;
    return 1.0;
}

std::string Trimmed(const char* text) {
    std::string s(text);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    return s;
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
    auto header = std::make_unique<edf_hdr_struct>();
    if (edfopen_file_readonly(path.c_str(), header.get(), EDFLIB_DO_NOT_READ_ANNOTATIONS) != 0) {
        *error = "cannot read " + path + " as EDF or BDF (EDFlib error " + std::to_string(header->filetype) + ")";
        return nullptr;
    }
    std::shared_ptr<ReplayFile> file(new ReplayFile());
    file->handle_ = header->handle;  // closed by the destructor from here on
    file->info_.path = path;
    if (header->edfsignals < 1 || header->datarecord_duration <= 0) {
        *error = path + " has no signals";
        return nullptr;
    }
    const edf_param_struct& first = header->signalparam[0];
    const int per_record = first.smp_in_datarecord;
    for (int s = 0; s < header->edfsignals; ++s) {
        const edf_param_struct& p = header->signalparam[s];
        if (p.smp_in_datarecord != per_record) continue;
        file->signals_.push_back({s, MicrovoltsPer(p.physdimension)});
        file->info_.labels.push_back(Trimmed(p.label));
    }
    file->info_.file_rate_hz = static_cast<double>(per_record) * static_cast<double>(EDFLIB_TIME_DIMENSION) /
                               static_cast<double>(header->datarecord_duration);
    file->info_.samples = static_cast<uint64_t>(std::max<long long>(0, first.smp_in_file));
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

ReplayFile::~ReplayFile() {
    if (handle_ >= 0) edfclose_file(handle_);
}

bool ReplayFile::Read(int channel, uint64_t first, size_t count, float* out) {
    const Signal& signal = signals_.at(static_cast<size_t>(channel));
    const uint64_t total = info_.samples;
    uint64_t at = first % total;
    while (count > 0) {
        const size_t run = static_cast<size_t>(std::min<uint64_t>(count, total - at));
        scratch_.resize(run);
        if (edfseek(handle_, signal.edf_signal, static_cast<long long>(at), EDFSEEK_SET) < 0) return false;
        if (edfread_physical_samples(handle_, signal.edf_signal, static_cast<int>(run), scratch_.data()) !=
            static_cast<int>(run))
            return false;
        for (size_t i = 0; i < run; ++i) out[i] = static_cast<float>(scratch_[i] * signal.to_microvolts);
        out += run;
        count -= run;
        at = 0;
    }
    return true;
}

}  // namespace detail
}  // namespace kxsim
