// Widening the SDK's float32 channel arrays into a chunk's sample-major
// doubles, the data callback's inner loop.
#ifndef KX_STREAM_SAMPLE_CONVERSION_H
#define KX_STREAM_SAMPLE_CONVERSION_H

#include <cstddef>

namespace kx {

// `channels` holds channel_count pointers to float32 arrays of sample_count
// values, none null. Writes out[s * channel_count + c] = channels[c][s] as
// double for every channel c and sample s, the channels-by-samples matrix in
// column-major order, each position once.
void InterleaveFloat32(const void* const* channels, std::size_t channel_count, std::size_t sample_count, double* out);

}  // namespace kx

#endif  // KX_STREAM_SAMPLE_CONVERSION_H
