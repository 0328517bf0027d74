// The mock backend's stream thread: a synthetic sine wave per enabled mock
// channel, one chunk per chunk period, pushed into the chunk buffer.
#ifndef KX_STREAM_MOCK_STREAM_H
#define KX_STREAM_MOCK_STREAM_H

#include <cstddef>
#include <cstdint>

namespace kx {

struct SessionState;

// Value of global sample `sample_index` of the enabled channel at `position`
// (0-based, ascending channel numbers) numbered `channel`, at `rate_hz`.
double MockSignalValue(std::uint64_t sample_index, std::int32_t rate_hz, std::size_t position, int channel);

// The body of mock_thread. Runs until mock_stop_requested is set; the wait
// between chunks ends as soon as a stop is requested (StopMockStreamThread
// notifies mock_wake). Never throws.
void MockStreamLoop(SessionState& session) noexcept;
void MockStreamLoop() noexcept;

}  // namespace kx

#endif  // KX_STREAM_MOCK_STREAM_H
