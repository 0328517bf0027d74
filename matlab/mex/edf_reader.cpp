#include "edf_reader.h"

#include <edflib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>

#include "edf_failure.h"
#include "edf_format.h"

namespace kxedf {
namespace {

struct FileCloser {
    void operator()(FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// A temporary file removed when this goes out of scope.
struct TempFile {
    std::string path;
    ~TempFile() {
        if (!path.empty()) {
            std::remove(path.c_str());
        }
    }
};

bool HeaderNumber(const char* header, size_t offset, size_t width, long long& out) {
    std::string field(header + offset, width);
    const size_t end = field.find_last_not_of(' ');
    if (end == std::string::npos) {
        return false;
    }
    field.resize(end + 1);
    char* stop = nullptr;
    errno = 0;
    out = std::strtoll(field.c_str(), &stop, 10);
    return errno == 0 && stop != nullptr && *stop == '\0';
}

// A file whose writer died ends inside a data record, and its record count
// may be behind. EDFlib refuses such a file, so its whole records are copied
// to a temporary file with the count set, which EDFlib then reads. Returns
// the number of whole records (0 when the file is not such a file).
long long CopyWholeRecords(const std::string& path, TempFile& copy) {
    FilePtr in(std::fopen(path.c_str(), "rb"));
    char fixed[256];
    if (!in || std::fread(fixed, 1, sizeof(fixed), in.get()) != sizeof(fixed)) {
        return 0;
    }
    const bool bdf = static_cast<unsigned char>(fixed[0]) == 0xFF && std::memcmp(fixed + 1, "BIOSEMI", 7) == 0;
    long long header_bytes = 0, stated = 0, signals = 0;
    if (!HeaderNumber(fixed, 184, 8, header_bytes) || !HeaderNumber(fixed, 236, 8, stated) ||
        !HeaderNumber(fixed, 252, 4, signals) || signals < 1 || signals > 4096 || header_bytes != 256 * (signals + 1)) {
        return 0;
    }
    std::vector<char> header(static_cast<size_t>(header_bytes));
    std::memcpy(header.data(), fixed, sizeof(fixed));
    if (std::fread(header.data() + 256, 1, header.size() - 256, in.get()) != header.size() - 256) {
        return 0;
    }
    long long record_bytes = 0;
    for (long long s = 0; s < signals; ++s) {
        long long samples = 0;
        if (!HeaderNumber(header.data(), static_cast<size_t>(256 + signals * 216 + s * 8), 8, samples) || samples < 1) {
            return 0;
        }
        record_bytes += samples * (bdf ? 3 : 2);
    }
    if (std::fseek(in.get(), 0, SEEK_END) != 0) {
        return 0;
    }
    const long long size = std::ftell(in.get());
    const long long whole = (size - header_bytes) / record_bytes;
    if (whole < 1 || (whole == stated && size == header_bytes + whole * record_bytes)) {
        return 0;
    }
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/kx_edf_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return 0;
    }
    copy.path = name.data();
    FilePtr out(::fdopen(fd, "wb"));
    if (!out) {
        ::close(fd);
        return 0;
    }
    std::memcpy(header.data() + kRecordCountOffset, RecordCountField(whole).c_str(), kRecordCountWidth);
    bool ok = std::fwrite(header.data(), 1, header.size(), out.get()) == header.size() &&
              std::fseek(in.get(), header_bytes, SEEK_SET) == 0;
    std::vector<char> block(1 << 20);
    for (long long left = whole * record_bytes; ok && left > 0;) {
        const size_t n = static_cast<size_t>(std::min<long long>(left, static_cast<long long>(block.size())));
        ok = std::fread(block.data(), 1, n, in.get()) == n && std::fwrite(block.data(), 1, n, out.get()) == n;
        left -= static_cast<long long>(n);
    }
    ok = std::fflush(out.get()) == 0 && ok;
    return ok ? whole : 0;
}

struct ReadHandle {
    int handle = -1;
    ~ReadHandle() {
        if (handle >= 0) {
            edfclose_file(handle);
        }
    }
};

std::string FileTypeName(int type) {
    switch (type) {
        case EDFLIB_FILETYPE_EDF: return "EDF";
        case EDFLIB_FILETYPE_EDFPLUS: return "EDF+";
        case EDFLIB_FILETYPE_BDF: return "BDF";
        case EDFLIB_FILETYPE_BDFPLUS: return "BDF+";
        default: return "unknown";
    }
}

}  // namespace

FileContents Read(const std::string& path) {
    // The header struct is large (hundreds of kilobytes): not on the stack.
    auto hdr = std::make_unique<edf_hdr_struct>();
    TempFile copy;
    long long whole = 0;
    ReadHandle file;
    if (edfopen_file_readonly(path.c_str(), hdr.get(), EDFLIB_READ_ALL_ANNOTATIONS) != 0) {
        const int code = hdr->filetype;
        if (code == EDFLIB_FILE_CONTAINS_FORMAT_ERRORS) {
            whole = CopyWholeRecords(path, copy);
        }
        if (whole == 0 || edfopen_file_readonly(copy.path.c_str(), hdr.get(), EDFLIB_READ_ALL_ANNOTATIONS) != 0) {
            Fail(code == EDFLIB_NO_SUCH_FILE_OR_DIRECTORY ? id::kOpenFailed : id::kReadFailed,
                 "Cannot read " + path + ": " + OpenErrorText(code) + ".");
        }
    }
    file.handle = hdr->handle;

    FileContents f;
    const size_t signals = static_cast<size_t>(std::max(hdr->edfsignals, 0));
    for (size_t s = 0; s < signals; ++s) {
        const edf_param_struct& p = hdr->signalparam[s];
        f.labels.push_back(Trimmed(p.label));
        f.units.push_back(Trimmed(p.physdimension));
        f.sample_rates.push_back(hdr->datarecord_duration > 0
                                     ? static_cast<double>(p.smp_in_datarecord) *
                                           static_cast<double>(EDFLIB_TIME_DIMENSION) /
                                           static_cast<double>(hdr->datarecord_duration)
                                     : 0.0);
        f.physical_min.push_back(p.phys_min);
        f.physical_max.push_back(p.phys_max);
        f.digital_min.push_back(p.dig_min);
        f.digital_max.push_back(p.dig_max);
        const long long n = std::max(p.smp_in_file, 0LL);
        std::vector<double> row(static_cast<size_t>(n));
        for (long long done = 0; done < n;) {
            const int block = static_cast<int>(std::min<long long>(n - done, 1 << 20));
            if (edfread_physical_samples(file.handle, static_cast<int>(s), block, row.data() + done) != block) {
                Fail(id::kReadFailed,
                     "Cannot read the samples of signal " + std::to_string(s + 1) + " of " + path + ".");
            }
            done += block;
        }
        f.data.push_back(std::move(row));
    }

    for (long long k = 0; k < hdr->annotations_in_file; ++k) {
        edf_annotation_struct a{};
        if (edf_get_annotation(file.handle, static_cast<int>(k), &a) != 0) {
            Fail(id::kReadFailed, "Cannot read annotation " + std::to_string(k + 1) + " of " + path + ".");
        }
        f.annotation_onsets.push_back(static_cast<double>(a.onset) / static_cast<double>(EDFLIB_TIME_DIMENSION));
        f.annotation_durations.push_back(
            a.duration_l < 0 ? NAN : static_cast<double>(a.duration_l) / static_cast<double>(EDFLIB_TIME_DIMENSION));
        f.annotation_texts.push_back(a.annotation);
    }

    std::tm start{};
    start.tm_year = hdr->startdate_year - 1900;
    start.tm_mon = hdr->startdate_month - 1;
    start.tm_mday = hdr->startdate_day;
    start.tm_hour = hdr->starttime_hour;
    start.tm_min = hdr->starttime_minute;
    start.tm_sec = hdr->starttime_second;
    start.tm_isdst = -1;
    // The toolbox's files start on a whole second and state the first
    // sample's place after it as the word "start+S.SSSSSS".
    std::string additional = Trimmed(hdr->recording_additional);
    double offset = static_cast<double>(hdr->starttime_subsecond) / static_cast<double>(EDFLIB_TIME_DIMENSION);
    for (size_t at = additional.find("start"); at != std::string::npos; at = additional.find("start", at + 1)) {
        const std::string word = additional.substr(at, kStartOffsetWidth);
        const bool bounded = (at == 0 || additional[at - 1] == ' ') &&
                             (at + kStartOffsetWidth == additional.size() || additional[at + kStartOffsetWidth] == ' ');
        if (bounded && word.size() == kStartOffsetWidth && (word[5] == '+' || word[5] == '-') && word[7] == '.' &&
            word.find_first_not_of("0123456789", 8) == std::string::npos && word[6] >= '0' && word[6] <= '9') {
            offset = std::strtod(word.c_str() + 5, nullptr);
            additional.erase(at == 0 ? 0 : at - 1, kStartOffsetWidth + 1);
            break;
        }
    }
    f.start_time = static_cast<double>(std::mktime(&start)) + offset;

    const bool plus = hdr->filetype == EDFLIB_FILETYPE_EDFPLUS || hdr->filetype == EDFLIB_FILETYPE_BDFPLUS;
    f.file_type = FileTypeName(hdr->filetype);
    f.records = hdr->datarecords_in_file;
    f.record_duration =
        static_cast<double>(hdr->datarecord_duration) / static_cast<double>(EDFLIB_TIME_DIMENSION);
    f.patient = plus ? "" : Trimmed(hdr->patient);
    f.recording = plus ? "" : Trimmed(hdr->recording);
    f.patient_code = Trimmed(hdr->patientcode);
    f.patient_name = Trimmed(hdr->patient_name);
    f.equipment = Trimmed(hdr->equipment);
    f.recording_additional = additional;
    f.cut = whole > 0;
    return f;
}

}  // namespace kxedf
