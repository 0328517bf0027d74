#include "edf_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>

#include "edf_failure.h"
#include "edf_format.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the sample decoding below reads little-endian words");

namespace kxedf {
namespace {

constexpr long long kFixedHeader = 256;
constexpr long long kSignalHeader = 256;
// Reads of samples are at most this large (more when one data record is).
constexpr long long kBatchBytes = 8 << 20;
// Bytes between the wanted parts of consecutive records that are read
// through rather than skipped with a read per record.
constexpr long long kReadThrough = 16 << 10;
// Two onsets closer than this are one moment (TAL onsets are decimal text).
constexpr double kOnsetTolerance = 1e-6;

std::string Stripped(const std::string& text) {
    const auto blank = [](char c) { return c == ' ' || c == '\0'; };
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// text with bytes that are not printable ASCII written as \xHH.
std::string Shown(const std::string& text, size_t max = 60) {
    std::string out;
    for (size_t k = 0; k < text.size() && k < max; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return text.size() > max ? out + "..." : out;
}

bool OnlyDecimal(const std::string& text) {
    int digits = 0, points = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.') {
            ++points;
        } else {
            return false;
        }
    }
    return digits > 0 && points <= 1;
}

// A header number as other readers take it: spaces around it are ignored, a
// sign may lead. Locale-independent.
bool ParseDecimal(const std::string& field, double* value) {
    std::string text = Stripped(field);
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.erase(0, 1);
    if (!OnlyDecimal(text)) return false;
    double parsed = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(parsed)) return false;
    *value = negative ? -parsed : parsed;
    return true;
}

bool ParseInteger(const std::string& field, long long* value) {
    std::string text = Stripped(field);
    if (!text.empty() && text[0] == '+') text.erase(0, 1);
    if (text.empty() || text[0] == '+') return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

std::string Underscored(std::string word) {
    if (word == "X") return std::string();
    std::replace(word.begin(), word.end(), '_', ' ');
    return word;
}

// The words of text and where each starts.
std::vector<std::pair<std::string, size_t>> Words(const std::string& text) {
    std::vector<std::pair<std::string, size_t>> words;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ') ++at;
        const size_t begin = at;
        while (at < text.size() && text[at] != ' ') ++at;
        if (at > begin) words.emplace_back(text.substr(begin, at - begin), begin);
    }
    return words;
}

std::string WithoutStartWord(const std::string& text) {
    std::string out;
    for (const auto& word : Words(text)) {
        double seconds = 0;
        if (ParseStartOffset(word.first, &seconds)) continue;
        out += (out.empty() ? "" : " ") + word.first;
    }
    return out;
}

int Year4FromStartdate(const std::string& date) {  // dd-MMM-yyyy
    long long year = 0;
    if (date.size() != 11 || !ParseInteger(date.substr(7), &year) || year < 1900 || year > 9999) return -1;
    return static_cast<int>(year);
}

double SnappedRate(double rate) {
    const double whole = std::round(rate);
    return std::fabs(rate - whole) < 1e-9 * rate ? whole : rate;
}

// One time-stamped annotation list (TAL) after another, as in an annotation
// signal's bytes of one data record.
struct TalReader {
    const std::string& text;
    size_t at = 0;

    // False at the end; otherwise the next TAL's onset, duration (NaN:
    // none) and texts. *bad names what does not parse.
    bool Next(double* onset, double* duration, std::vector<std::string>* texts, std::string* bad) {
        while (at < text.size() && text[at] == '\0') ++at;
        if (at >= text.size()) return false;
        size_t end = text.find('\0', at);
        if (end == std::string::npos) end = text.size();
        const std::string tal = text.substr(at, end - at);
        at = end;
        size_t stop = tal.find('\x14');
        const size_t mark = tal.find('\x15');
        const std::string onset_text = tal.substr(0, std::min(stop, mark));
        double value = 0;
        if (stop == std::string::npos || onset_text.size() < 2 || (onset_text[0] != '+' && onset_text[0] != '-') ||
            !OnlyDecimal(onset_text.substr(1)) || !ParseDecimal(onset_text, &value)) {
            *bad = tal;
            return true;
        }
        *onset = value;
        *duration = NAN;
        if (mark < stop) {
            const std::string duration_text = tal.substr(mark + 1, stop - mark - 1);
            if (!OnlyDecimal(duration_text) || !ParseDecimal(duration_text, duration)) {
                *bad = tal;
                return true;
            }
        }
        texts->clear();
        for (size_t from = stop + 1; from < tal.size();) {
            stop = tal.find('\x14', from);
            if (stop == std::string::npos) stop = tal.size();
            texts->push_back(tal.substr(from, stop - from));
            from = stop + 1;
        }
        return true;
    }
};

template <int kBytes>
inline int32_t Digital(const unsigned char* p) {
    if constexpr (kBytes == 2) {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else {
        const uint32_t u = static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                           static_cast<uint32_t>(p[2]) << 24;
        return static_cast<int32_t>(u) >> 8;
    }
}

// What one chosen signal needs while its samples are decoded.
struct Lane {
    long long offset;  // of its first sample in the buffered part of a record
    double scale, shift;
    int32_t low, high;
};

// Samples [j0, j1) of one record into consecutive columns of out: sample by
// sample, so that the result is written in order. kCount: some declared
// range is narrower than what the samples can hold, so samples are counted.
template <int kBytes, bool kCount>
void Decode(const unsigned char* record, long long j0, long long j1, const std::vector<Lane>& lanes, double* out,
            long long* outside) {
    const size_t nc = lanes.size();
    for (long long j = j0; j < j1; ++j, out += nc) {
        const unsigned char* at = record + j * kBytes;
        for (size_t c = 0; c < nc; ++c) {
            const Lane& l = lanes[c];
            const int32_t v = Digital<kBytes>(at + l.offset);
            if (kCount) outside[c] += (v < l.low) | (v > l.high);
            out[c] = v * l.scale + l.shift;
        }
    }
}

int Clamped(double value) {
    const double low = std::numeric_limits<int>::min(), high = std::numeric_limits<int>::max();
    return static_cast<int>(std::min(std::max(value, low), high));
}

}  // namespace

EdfFile::EdfFile(const std::string& path, bool annotations) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = fd_ >= 0;
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        Fail(id::kOpenFailed, "Cannot read " + path + ": " +
                                  (folder ? std::string("it is not a file")
                                          : "the file cannot be opened (no such folder or no permission)") +
                                  ".");
    }
    try {
        ReadHeader();
        ReadAnnotations(annotations);
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

EdfFile::~EdfFile() {
    if (fd_ >= 0) ::close(fd_);
}

void EdfFile::Failed(const std::string& why) const {
    Fail(id::kReadFailed, "Cannot read " + path_ + ": " + why + ".");
}

long long EdfFile::Pread(unsigned char* buffer, long long bytes, long long offset) const {
    long long done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(fd_, buffer + done, static_cast<size_t>(bytes - done), offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Failed(std::string("reading failed: ") + std::strerror(errno));
        if (n == 0) break;
        done += n;
    }
    return done;
}

void EdfFile::ReadHeader() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Failed(std::string("reading failed: ") + std::strerror(errno));
    const long long size = st.st_size;
    std::string fixed(kFixedHeader, '\0');
    const long long got = Pread(reinterpret_cast<unsigned char*>(&fixed[0]), kFixedHeader, 0);
    if (got < kFixedHeader) {
        Failed("it ends inside its header, at byte " + std::to_string(got) + " of 256");
    }
    const auto field = [&](size_t offset, size_t width) { return fixed.substr(offset, width); };
    const auto bad = [&](const char* name, const std::string& value) {
        Failed(std::string("its \"") + name + "\" is \"" + Shown(value) + "\"");
    };

    const std::string version = field(0, 8);
    const bool bdf = version == std::string("\xFF" "BIOSEMI");
    if (!bdf && Stripped(version) != "0") {
        Failed("its \"version\" is \"" + Shown(version) + "\": it is neither an EDF nor a BDF file");
    }
    sample_bytes_ = bdf ? 3 : 2;
    const std::string reserved = field(192, 44);
    const bool plus = reserved.compare(0, 4, "EDF+") == 0 || reserved.compare(0, 4, "BDF+") == 0;
    info_.file_type = std::string(bdf ? "BDF" : "EDF") + (plus ? "+" : "");
    info_.discontinuous = plus && reserved[4] == 'D';

    long long signals = 0, header_bytes = 0, stated_records = 0;
    if (!ParseInteger(field(252, 4), &signals) || signals < 1) bad("number of signals", field(252, 4));
    if (!ParseInteger(field(184, 8), &header_bytes) || header_bytes < kFixedHeader + signals * kSignalHeader) {
        bad("number of bytes in header", field(184, 8));
    }
    if (!ParseInteger(field(236, 8), &stated_records) || stated_records < -1) {
        bad("number of data records", field(236, 8));
    }
    if (!ParseDecimal(field(244, 8), &info_.record_duration) || info_.record_duration < 0) {
        bad("duration of a data record", field(244, 8));
    }

    const long long signal_bytes = signals * kSignalHeader;
    std::string s(static_cast<size_t>(signal_bytes), '\0');
    const long long got_signals = Pread(reinterpret_cast<unsigned char*>(&s[0]), signal_bytes, kFixedHeader);
    if (got_signals < signal_bytes) {
        Failed("it ends inside its header, at byte " + std::to_string(kFixedHeader + got_signals) + " of " +
               std::to_string(header_bytes));
    }
    const size_t n = static_cast<size_t>(signals);
    // Each field holds one entry per signal, one after the other.
    const auto entry = [&](size_t field_offset, size_t width, size_t k) {
        return s.substr(field_offset * n + k * width, width);
    };
    record_bytes_ = 0;
    for (size_t k = 0; k < n; ++k) {
        Signal sig;
        sig.label = Stripped(entry(0, 16, k));
        const auto bad_signal = [&](const char* name, const std::string& value) {
            Failed(std::string("the \"") + name + "\" of signal " + std::to_string(k + 1) + " (" + Shown(sig.label) +
                   ") is \"" + Shown(value) + "\"");
        };
        sig.transducer = Stripped(entry(16, 80, k));
        sig.unit = Stripped(entry(96, 8, k));
        sig.prefiltering = Stripped(entry(136, 80, k));
        long long spr = 0;
        if (!ParseInteger(entry(216, 8, k), &spr) || spr < 1 || spr > 100000000) {
            bad_signal("number of samples in each data record", entry(216, 8, k));
        }
        sig.samples_per_record = spr;
        const long long offset = record_bytes_;
        record_bytes_ += spr * sample_bytes_;
        if (sig.label == "EDF Annotations" || sig.label == "BDF Annotations") {
            notes_at_.emplace_back(offset, spr * sample_bytes_);
            continue;
        }
        if (!ParseDecimal(entry(104, 8, k), &sig.physical_min)) bad_signal("physical minimum", entry(104, 8, k));
        if (!ParseDecimal(entry(112, 8, k), &sig.physical_max)) bad_signal("physical maximum", entry(112, 8, k));
        if (!ParseDecimal(entry(120, 8, k), &sig.digital_min)) bad_signal("digital minimum", entry(120, 8, k));
        if (!ParseDecimal(entry(128, 8, k), &sig.digital_max)) bad_signal("digital maximum", entry(128, 8, k));
        if (sig.digital_min == sig.digital_max) {
            Failed("the \"digital minimum\" and \"digital maximum\" of signal " + std::to_string(k + 1) + " (" +
                   Shown(sig.label) + ") are both \"" + Shown(Stripped(entry(120, 8, k))) + "\"");
        }
        if (info_.record_duration <= 0) bad("duration of a data record", field(244, 8));
        sig.sample_rate = SnappedRate(static_cast<double>(spr) / info_.record_duration);
        Layout layout;
        layout.offset = offset;
        layout.scale = (sig.physical_max - sig.physical_min) / (sig.digital_max - sig.digital_min);
        layout.shift = sig.physical_min - sig.digital_min * layout.scale;
        layout.low = Clamped(std::ceil(std::min(sig.digital_min, sig.digital_max)));
        layout.high = Clamped(std::floor(std::max(sig.digital_min, sig.digital_max)));
        layout_.push_back(layout);
        info_.signals.push_back(std::move(sig));
    }

    // A file whose writer died ends inside a data record, or past the
    // records its count says, or its count is still -1: its whole records
    // are read and it is marked cut.
    data_offset_ = header_bytes;
    if (size < data_offset_) {
        Failed("it ends inside its header, at byte " + std::to_string(size) + " of " + std::to_string(header_bytes));
    }
    info_.records = (size - data_offset_) / record_bytes_;
    info_.cut = stated_records != info_.records || size != data_offset_ + info_.records * record_bytes_;

    // Start date dd.mm.yy and time hh.mm.ss (any separator); EDF+ years past
    // 2084 stand in the recording field's Startdate.
    const std::string date = Stripped(field(168, 8)), time = Stripped(field(176, 8));
    long long dd = 0, mm = 0, yy = 0, hh = 0, mi = 0, ss = 0;
    const auto part = [](const std::string& text, size_t at, long long* value) {
        return text.size() == 8 && ParseInteger(text.substr(at, 2), value) && text.substr(at, 2).find(' ') == std::string::npos;
    };
    const std::string recording = field(88, 80);
    const auto recording_words = Words(Stripped(recording));
    const bool structured = plus && recording_words.size() >= 2 && recording_words[0].first == "Startdate";
    int year = -1;
    if (part(date, 6, &yy)) {
        year = static_cast<int>(yy < 85 ? 2000 + yy : 1900 + yy);
    } else if (structured) {
        year = Year4FromStartdate(recording_words[1].first);
    }
    if (!part(date, 0, &dd) || !part(date, 3, &mm) || year < 0 || dd < 1 || dd > 31 || mm < 1 || mm > 12) {
        bad("start date", field(168, 8));
    }
    if (!part(time, 0, &hh) || !part(time, 3, &mi) || !part(time, 6, &ss) || hh > 23 || mi > 59 || ss > 60) {
        bad("start time", field(176, 8));
    }
    std::tm start{};
    start.tm_year = year - 1900;
    start.tm_mon = static_cast<int>(mm) - 1;
    start.tm_mday = static_cast<int>(dd);
    start.tm_hour = static_cast<int>(hh);
    start.tm_min = static_cast<int>(mi);
    start.tm_sec = static_cast<int>(ss);
    start.tm_isdst = -1;
    info_.start_time = static_cast<double>(std::mktime(&start));

    const std::string patient = field(8, 80);
    if (!plus) {
        info_.patient = Stripped(patient);
        info_.recording = Stripped(recording);
        return;
    }
    const auto patient_words = Words(Stripped(patient));
    if (!patient_words.empty()) info_.patient_code = Underscored(patient_words[0].first);
    if (patient_words.size() >= 4) info_.patient_name = Underscored(patient_words[3].first);
    if (!structured) {
        info_.recording = Stripped(recording);  // not in EDF+ form: kept whole
        return;
    }
    if (recording_words.size() >= 5) info_.equipment = Underscored(recording_words[4].first);
    has_start_word_ = ParseStartOffset(Stripped(recording), &start_word_);
    if (recording_words.size() >= 6) {
        info_.recording_additional = WithoutStartWord(Stripped(recording).substr(recording_words[5].second));
    }
}

void EdfFile::ReadAnnotations(bool wanted) {
    const bool plus = info_.file_type.back() == '+';
    const double duration = info_.record_duration;
    info_.record_onsets.assign(static_cast<size_t>(info_.records), 0.0);
    for (long long k = 0; k < info_.records; ++k) info_.record_onsets[static_cast<size_t>(k)] = k * duration;
    if (notes_at_.empty() || !wanted) {
        info_.start_time += has_start_word_ ? start_word_ : 0.0;
        if (info_.discontinuous && info_.records > 0 && notes_at_.empty()) {
            Failed("it is a discontinuous file without an annotation signal, so its records' onsets are unknown");
        }
        return;
    }
    // The annotation signals' bytes of consecutive records, read through when
    // they fill most of a record.
    long long lo = record_bytes_, hi = 0;
    for (const auto& at : notes_at_) {
        lo = std::min(lo, at.first);
        hi = std::max(hi, at.first + at.second);
    }
    const bool through = record_bytes_ - (hi - lo) <= kReadThrough;
    const long long batch = through ? std::max(1LL, kBatchBytes / record_bytes_) : 1;
    std::vector<unsigned char> buffer;
    std::vector<bool> kept(static_cast<size_t>(info_.records), false);
    std::vector<double> onsets(static_cast<size_t>(info_.records), 0.0);
    std::vector<std::string> texts;
    std::string bytes;
    for (long long r0 = 0; r0 < info_.records; r0 += batch) {
        const long long r1 = std::min(info_.records, r0 + batch);
        const long long span = (r1 - r0 - 1) * record_bytes_ + (hi - lo);
        buffer.resize(static_cast<size_t>(span));
        if (Pread(buffer.data(), span, data_offset_ + r0 * record_bytes_ + lo) < span) {
            Failed("it ended while being read (did another program change it?)");
        }
        for (long long r = r0; r < r1; ++r) {
            const unsigned char* base = buffer.data() + (r - r0) * record_bytes_;
            for (size_t a = 0; a < notes_at_.size(); ++a) {
                bytes.assign(reinterpret_cast<const char*>(base + (notes_at_[a].first - lo)),
                             static_cast<size_t>(notes_at_[a].second));
                TalReader tals{bytes};
                double onset = 0, length = 0;
                std::string bad;
                for (bool first = a == 0; tals.Next(&onset, &length, &texts, &bad); first = false) {
                    if (!bad.empty()) {
                        Failed("data record " + std::to_string(r + 1) +
                               " holds an annotation that does not parse: \"" + Shown(bad) + "\"");
                    }
                    size_t from = 0;
                    if (first && !texts.empty() && texts[0].empty()) {
                        kept[static_cast<size_t>(r)] = true;  // the record's time-keeping annotation
                        onsets[static_cast<size_t>(r)] = onset;
                        from = 1;
                    }
                    for (size_t t = from; t < texts.size(); ++t) {
                        if (texts[t].empty()) continue;
                        info_.annotation_onsets.push_back(onset);
                        info_.annotation_durations.push_back(length);
                        info_.annotation_texts.push_back(texts[t]);
                    }
                }
            }
        }
    }
    // Onsets from the time-keeping annotations; a continuous file's record
    // without one follows the one before it.
    double origin = 0;
    if (plus && info_.records > 0) {
        origin = kept[0] ? onsets[0] : 0.0;
        for (long long k = 0; k < info_.records; ++k) {
            const size_t i = static_cast<size_t>(k);
            if (!kept[i] && info_.discontinuous) {
                Failed("data record " + std::to_string(k + 1) +
                       " of this discontinuous file has no time-keeping annotation, so its onset is unknown");
            }
            info_.record_onsets[i] = kept[i] ? onsets[i] - origin : (k == 0 ? 0.0 : info_.record_onsets[i - 1] + duration);
            if (k > 0 && info_.record_onsets[i] < info_.record_onsets[i - 1] + duration - kOnsetTolerance) {
                char text[160];
                std::snprintf(text, sizeof(text), "data record %lld starts at %.9g s, before data record %lld ends at %.9g s",
                              k + 1, info_.record_onsets[i], k, info_.record_onsets[i - 1] + duration);
                Failed(text);
            }
        }
    }
    // The exact start the toolbox keeps, else the first record's onset.
    info_.start_time += has_start_word_ ? start_word_ : origin;
    for (double& onset : info_.annotation_onsets) onset -= origin;
}

void EdfFile::ReadSamples(const std::vector<size_t>& signals, long long first, long long count, double* out,
                          long long* out_of_range) const {
    if (count <= 0 || signals.empty()) return;
    const long long spr = info_.signals.at(signals[0]).samples_per_record;
    long long lo = record_bytes_, hi = 0;
    for (const size_t s : signals) {
        if (info_.signals.at(s).samples_per_record != spr) {
            Fail(id::kInvalidArgument, "The signals read together must share one rate.");
        }
        lo = std::min(lo, layout_[s].offset);
        hi = std::max(hi, layout_[s].offset + spr * sample_bytes_);
    }
    if (first < 0 || first + count > info_.records * spr) {
        Fail(id::kInvalidArgument, "The samples asked for lie outside the file.");
    }
    const size_t nc = signals.size();
    std::vector<Lane> lanes;
    const int32_t widest = sample_bytes_ == 3 ? 8388607 : 32767;
    bool count_outside = false;
    for (const size_t s : signals) {
        const Layout& l = layout_[s];
        lanes.push_back({l.offset - lo, l.scale, l.shift, l.low, l.high});
        count_outside = count_outside || l.low > -widest - 1 || l.high < widest;
    }
    const bool through = record_bytes_ - (hi - lo) <= kReadThrough;
    const long long stride = through ? record_bytes_ : hi - lo;  // between records in the buffer
    const long long batch = std::max(1LL, kBatchBytes / stride);
    const long long r_first = first / spr, r_end = (first + count - 1) / spr + 1;
    std::vector<unsigned char> buffer;
    std::vector<long long> outside(nc, 0);
    for (long long r0 = r_first; r0 < r_end; r0 += batch) {
        const long long r1 = std::min(r_end, r0 + batch);
        const long long span = (r1 - r0 - 1) * stride + (hi - lo);
        buffer.resize(static_cast<size_t>(span));
        if (through) {
            if (Pread(buffer.data(), span, data_offset_ + r0 * record_bytes_ + lo) < span) {
                Failed("it ended while being read (did another program change it?)");
            }
        } else {
            for (long long r = r0; r < r1; ++r) {
                if (Pread(buffer.data() + (r - r0) * stride, hi - lo, data_offset_ + r * record_bytes_ + lo) < hi - lo) {
                    Failed("it ended while being read (did another program change it?)");
                }
            }
        }
        for (long long r = r0; r < r1; ++r) {
            const unsigned char* record = buffer.data() + (r - r0) * stride;
            const long long j0 = std::max(first - r * spr, 0LL), j1 = std::min(first + count - r * spr, spr);
            double* column = out + static_cast<size_t>(r * spr + j0 - first) * nc;
            const auto decode = sample_bytes_ == 3 ? (count_outside ? Decode<3, true> : Decode<3, false>)
                                                   : (count_outside ? Decode<2, true> : Decode<2, false>);
            decode(record, j0, j1, lanes, column, outside.data());
        }
    }
    if (out_of_range != nullptr) {
        for (size_t c = 0; c < nc; ++c) out_of_range[c] += outside[c];
    }
}

std::vector<size_t> SignalsAtCommonRate(const FileInfo& info) {
    std::map<long long, size_t> count;  // per samples per record
    for (const Signal& s : info.signals) ++count[s.samples_per_record];
    long long best = 0;
    size_t most = 0;
    for (const auto& c : count) {
        if (c.second >= most) {
            most = c.second;
            best = c.first;
        }
    }
    std::vector<size_t> chosen;
    for (size_t k = 0; k < info.signals.size(); ++k) {
        if (info.signals[k].samples_per_record == best) chosen.push_back(k);
    }
    return chosen;
}

void SampleWindow(double rate, long long total, double t0, double t1, long long* first, long long* end) {
    // The smallest i with i / rate >= t, or total.
    const auto boundary = [&](double t) -> long long {
        if (!(t > 0)) return 0;
        const double x = t * rate;
        long long i = x < static_cast<double>(total) ? static_cast<long long>(std::ceil(x)) : total;
        while (i > 0 && static_cast<double>(i - 1) / rate >= t) --i;
        while (i < total && static_cast<double>(i) / rate < t) ++i;
        return i;
    };
    *first = boundary(t0);
    *end = std::max(*first, boundary(t1));
}

std::vector<double> AnnotationSamples(const FileInfo& info, long long samples_per_record) {
    const std::vector<double>& onsets = info.record_onsets;
    const double duration = info.record_duration;
    const double rate = static_cast<double>(samples_per_record) / duration;
    std::vector<double> out;
    for (const double t : info.annotation_onsets) {
        const auto after = std::upper_bound(onsets.begin(), onsets.end(), t + 1e-12);
        if (after == onsets.begin() || !(duration > 0)) {
            out.push_back(NAN);
            continue;
        }
        const size_t k = static_cast<size_t>(after - onsets.begin()) - 1;
        if (t >= onsets[k] + duration) {
            out.push_back(NAN);
            continue;
        }
        const double within = std::max(0.0, (t - onsets[k]) * rate);
        long long j = static_cast<long long>(std::floor(within + 0.5));
        const bool next_follows = k + 1 < onsets.size() && onsets[k + 1] - (onsets[k] + duration) < kOnsetTolerance;
        if (j >= samples_per_record && !next_follows) j = samples_per_record - 1;
        out.push_back(static_cast<double>(static_cast<long long>(k) * samples_per_record + j + 1));
    }
    return out;
}

}  // namespace kxedf
