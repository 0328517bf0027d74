// libFuzzer target of the toolbox's EDF/BDF reader (matlab/mex/edf_reader):
// each input is a file. Whatever it holds, opening it either succeeds or
// fails with kestrix:file:readFailed ("Cannot read ..."); reading never
// touches memory outside its buffers (ASan), and what it reads is
// consistent: every window of samples is the slice of the whole read, the
// samples outside the digital range add up, annotations fall on samples of
// the file or on none.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "edf_failure.h"
#include "edf_reader.h"

namespace {

// Finding: prints what and aborts, which libFuzzer reports with the input.
void Expect(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "kx fuzz finding: %s\n", what);
        __builtin_trap();
    }
}

// One in-memory file reused for every input, reached through its path.
const std::string& FilePath(int* fd) {
    static int descriptor = memfd_create("kx_fuzz_edf", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
    *fd = descriptor;
    return path;
}

bool SameBits(const double* a, const double* b, size_t n) {
    return std::memcmp(a, b, n * sizeof(double)) == 0;
}

void CheckReads(const kxedf::EdfFile& file, const uint8_t* data, size_t size) {
    const kxedf::FileInfo& f = file.info();
    Expect(f.record_onsets.size() == static_cast<size_t>(f.records), "one onset per record");
    Expect(f.annotation_onsets.size() == f.annotation_texts.size() &&
               f.annotation_durations.size() == f.annotation_texts.size(),
           "annotation lists of one length");
    const std::vector<size_t> signals = kxedf::SignalsAtCommonRate(f);
    if (signals.empty()) return;
    const long long spr = f.signals[signals[0]].samples_per_record;
    const long long total = f.records * spr;
    const size_t nc = signals.size();
    for (const double s : kxedf::AnnotationSamples(f, spr)) {
        Expect(std::isnan(s) || (s >= 1 && s <= static_cast<double>(total) && s == std::floor(s)),
               "an annotation on a sample of the file or on none");
    }
    if (total == 0 || static_cast<double>(total) * static_cast<double>(nc) > (1 << 22)) return;
    std::vector<double> whole(static_cast<size_t>(total) * nc);
    std::vector<long long> outside(nc, 0);
    file.ReadSamples(signals, 0, total, whole.data(), outside.data());

    // Windows chosen by the input's last bytes: each signal alone over a
    // window, and the rest of the file, add up to the whole read.
    const uint64_t pick = size >= 8 ? (static_cast<uint64_t>(data[size - 1]) << 8 | data[size - 2]) : size;
    const long long first = static_cast<long long>(pick % static_cast<uint64_t>(total));
    const long long count = total - first;
    std::vector<long long> parts(nc, 0);
    for (size_t k = 0; k < nc; ++k) {
        std::vector<double> window(static_cast<size_t>(count)), head(static_cast<size_t>(first));
        file.ReadSamples({signals[k]}, first, count, window.data(), &parts[k]);
        file.ReadSamples({signals[k]}, 0, first, head.data(), &parts[k]);
        for (long long i = 0; i < total; ++i) {
            const double got = i < first ? head[static_cast<size_t>(i)] : window[static_cast<size_t>(i - first)];
            Expect(SameBits(&got, &whole[static_cast<size_t>(i) * nc + k], 1), "a window is the slice of the whole");
        }
    }
    Expect(parts == outside, "samples outside the digital range counted once in any window");

    // Seconds to samples: the samples i with t0 <= i / rate < t1.
    const double rate = f.signals[signals[0]].sample_rate;
    const double t0 = static_cast<double>(pick % 977) / 97.0, t1 = t0 + static_cast<double>(pick % 89) / 13.0;
    long long a = 0, b = 0;
    kxedf::SampleWindow(rate, total, t0, t1, &a, &b);
    Expect(0 <= a && a <= b && b <= total, "a window within the file");
    Expect(a == total || static_cast<double>(a) / rate >= t0, "the window's first sample at T0 or after");
    Expect(a == 0 || static_cast<double>(a - 1) / rate < t0, "no sample at T0 or after left out");
    Expect(b == a || static_cast<double>(b - 1) / rate < t1, "the window's last sample before T1");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = -1;
    const std::string& path = FilePath(&fd);
    Expect(fd >= 0 && ::ftruncate(fd, 0) == 0, "an in-memory file");
    Expect(::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size), "the input written");
    try {
        const kxedf::EdfFile file(path);
        CheckReads(file, data, size);
    } catch (const kxedf::Failure& failure) {
        Expect(std::string(failure.identifier) == kxedf::id::kReadFailed, "a malformed file fails with readFailed");
        Expect(std::string(failure.what()).rfind("Cannot read " + path + ": ", 0) == 0, "the message names the file");
    }
    return 0;
}
