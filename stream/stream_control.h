// Stream start and stop, and the SDK's data callback that feeds the chunk
// buffer while a real stream runs.
#ifndef KX_STREAM_STREAM_CONTROL_H
#define KX_STREAM_STREAM_CONTROL_H

#include <cstddef>
#include <cstdint>

namespace kx {

// The SDK's chunk callback; `user` is the SessionState the stream belongs to.
// Runs on an SDK thread: converts every channel to doubles, pushes one
// ChunkEntry, and never lets an exception out (a chunk that cannot be built
// is lost, uncounted).
void ChunkCallback(const void* const* data, std::size_t sample_count, void* user) noexcept;

// Polls IsStreaming() every 100 ms until it equals `streaming` or the
// timeout has passed; returns whether the state was reached.
bool WaitUntilStreamingState(bool streaming, int timeout_ms);

// Hertz of the SDK's sample-rate code; -1 for a code outside its table.
std::int32_t SampleRateFromCode(std::uint8_t code);

}  // namespace kx

#endif  // KX_STREAM_STREAM_CONTROL_H
