// The bounded queue between the producers of EEG data and MATLAB.
//
// Threading contract: PushChunkEntry is called by the SDK's data callback
// thread and by the mock stream thread, never by MATLAB's thread.
// ReadChunkBuffer and ClearChunkBuffer run on MATLAB's thread. Every member
// they touch (chunk_buffer, max_buffer_chunks, dropped_chunks) is guarded by
// SessionState::mutex; chunk_available is notified after every push, after
// the mutex is released.
//
// Overflow policy: a push into a full buffer discards the oldest chunks until
// there is room, so a slow reader loses old data, never new data. Every
// discarded chunk is counted once in dropped_chunks and reported once, by the
// next read, which zeroes the counter. ClearChunkBuffer(false) keeps the count
// for that next read; ClearChunkBuffer(true) zeroes it.
//
// A draining read returns the oldest run of chunks that share the oldest
// chunk's channel count and leaves the rest queued, so a change of channel
// count in the middle of a stream never loses data: the next read returns the
// chunks of the new layout.
#ifndef KX_STREAM_CHUNK_BUFFER_H
#define KX_STREAM_CHUNK_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kx {

struct SessionState;

// One block of consecutive samples of all streamed channels.
struct ChunkEntry {
    // channel_count x sample_count values, sample-major: channel c of sample s
    // is at s * channel_count + c, the column-major layout of a
    // channels-by-samples matrix.
    std::vector<double> samples;
    std::size_t channel_count = 0;
    std::size_t sample_count = 0;
    // System clock at the chunk's making, seconds since the Unix epoch.
    double received_at = 0.0;
    // The stream's rate when the chunk was made; 0 or below carries no rate.
    std::int32_t sample_frequency_hz = 0;
};

struct ChunkReadResult {
    bool available = false;
    std::size_t dropped_chunks = 0;
    std::vector<ChunkEntry> chunks;  // oldest first
};

// Seconds since the Unix epoch on the system clock, with a fraction.
double SystemClockSeconds();

void PushChunkEntry(SessionState& session, ChunkEntry&& entry);
std::size_t ClearChunkBuffer(SessionState& session, bool reset_dropped);
ChunkReadResult ReadChunkBuffer(SessionState& session, int timeout_ms, bool drain);

// The same on the process-wide session.
void PushChunkEntry(ChunkEntry&& entry);
std::size_t ClearChunkBuffer(bool reset_dropped);
ChunkReadResult ReadChunkBuffer(int timeout_ms, bool drain);

}  // namespace kx

#endif  // KX_STREAM_CHUNK_BUFFER_H
