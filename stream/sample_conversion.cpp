#include "stream/sample_conversion.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace kx {
namespace {

inline const float* Channel(const void* const* channels, std::size_t c) {
    return static_cast<const float*>(channels[c]);
}

// Channels [first, last) of samples [first_sample, end_sample), one value at
// a time: the edges the 4 x 4 blocks leave.
void InterleaveScalar(const void* const* channels, std::size_t channel_count, std::size_t first_channel,
                      std::size_t last_channel, std::size_t first_sample, std::size_t end_sample, double* out) {
    for (std::size_t s = first_sample; s < end_sample; ++s) {
        double* column = out + s * channel_count;
        for (std::size_t c = first_channel; c < last_channel; ++c) {
            column[c] = static_cast<double>(Channel(channels, c)[s]);
        }
    }
}

#if defined(__SSE2__)

// Samples s..s+3 of channels c..c+3: four loads, a transpose, and two
// widening stores per sample.
inline void Interleave4x4(const void* const* channels, std::size_t channel_count, std::size_t c, std::size_t s,
                          double* out) {
    __m128 row0 = _mm_loadu_ps(Channel(channels, c) + s);
    __m128 row1 = _mm_loadu_ps(Channel(channels, c + 1) + s);
    __m128 row2 = _mm_loadu_ps(Channel(channels, c + 2) + s);
    __m128 row3 = _mm_loadu_ps(Channel(channels, c + 3) + s);
    _MM_TRANSPOSE4_PS(row0, row1, row2, row3);
    double* column = out + s * channel_count + c;
    _mm_storeu_pd(column, _mm_cvtps_pd(row0));
    _mm_storeu_pd(column + 2, _mm_cvtps_pd(_mm_movehl_ps(row0, row0)));
    column += channel_count;
    _mm_storeu_pd(column, _mm_cvtps_pd(row1));
    _mm_storeu_pd(column + 2, _mm_cvtps_pd(_mm_movehl_ps(row1, row1)));
    column += channel_count;
    _mm_storeu_pd(column, _mm_cvtps_pd(row2));
    _mm_storeu_pd(column + 2, _mm_cvtps_pd(_mm_movehl_ps(row2, row2)));
    column += channel_count;
    _mm_storeu_pd(column, _mm_cvtps_pd(row3));
    _mm_storeu_pd(column + 2, _mm_cvtps_pd(_mm_movehl_ps(row3, row3)));
}

#endif

}  // namespace

void InterleaveFloat32(const void* const* channels, std::size_t channel_count, std::size_t sample_count, double* out) {
#if defined(__SSE2__)
    // Blocks of four samples, each written column after column, so the
    // stores run through the chunk in order while the loads stay within a
    // cache line of every channel. Eight channels per step fill a cache line
    // of each column.
    const std::size_t block_channels = channel_count - channel_count % 4;
    const std::size_t wide_channels = channel_count - channel_count % 8;
    const std::size_t block_samples = sample_count - sample_count % 4;
    for (std::size_t s = 0; s < block_samples; s += 4) {
        std::size_t c = 0;
        for (; c < wide_channels; c += 8) {
            Interleave4x4(channels, channel_count, c, s, out);
            Interleave4x4(channels, channel_count, c + 4, s, out);
        }
        if (c < block_channels) {
            Interleave4x4(channels, channel_count, c, s, out);
        }
        if (block_channels < channel_count) {
            InterleaveScalar(channels, channel_count, block_channels, channel_count, s, s + 4, out);
        }
    }
    InterleaveScalar(channels, channel_count, 0, channel_count, block_samples, sample_count, out);
#else
    InterleaveScalar(channels, channel_count, 0, channel_count, 0, sample_count, out);
#endif
}

}  // namespace kx
