// The bounded queue between the producers of EEG data and MATLAB, and the
// pool that recycles the chunks' sample vectors. Types: stream/chunk_types.h.
//
// Threading contract: PushChunkEntry and TakeSampleVector are called by the
// SDK's data callback thread and by the mock stream thread, never by
// MATLAB's thread. ReadChunkBuffer and ClearChunkBuffer run on MATLAB's
// thread. Every member they touch is guarded by ChunkBufferState::mutex;
// chunk_available is notified after every push, after the mutex is released.
// Nothing here calls the SDK, sleeps or frees a large block under the mutex
// on the steady path: producers build and convert a chunk before pushing it,
// and a reader copies the chunks it took after the mutex is released.
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
// chunks of the new layout. A non-draining read returns a copy of the newest
// chunk and leaves the buffer as it was.
//
// Pool and memory bound: a chunk's sample vector comes from the pool
// (TakeSampleVector, on the producer's thread) and goes back to it when the
// chunk is dropped, or when the read that took it is destroyed, after its
// samples were copied out. ClearChunkBuffer frees the cleared chunks and the
// pool's spares, so a stopped stream holds no sample memory. The pool keeps a vector only while the
// buffered chunks and the spare vectors together number fewer than
// max_buffer_chunks + kSpareSampleVectors; any other is freed. Besides those,
// only the chunk each producer is filling and the chunks a read has taken
// and not yet handed back (at most max_buffer_chunks) hold vectors. A spare
// serves a new chunk only when it is at most about twice that chunk's size,
// so after a change of layout the spares follow the new size. Memory is
// therefore bounded by about (2 x max_buffer_chunks + kSpareSampleVectors +
// producers) x twice the largest chunk of the current layout, and a steady
// stream whose reader keeps up holds at most max_buffer_chunks +
// kSpareSampleVectors vectors besides the one in the making. The queue's
// ring of slots grows to the most chunks ever queued and stays. In steady
// state no chunk allocates, and a recycled vector of the same layout is not
// written before the producer fills it.
#ifndef KX_STREAM_CHUNK_BUFFER_H
#define KX_STREAM_CHUNK_BUFFER_H

#include "stream/chunk_types.h"

#include <cstddef>
#include <vector>

namespace kx {

// Spare sample vectors the pool keeps beyond the capacity: one for each
// producer's chunk in the making while the buffer is full, and some room.
constexpr std::size_t kSpareSampleVectors = 4;

// Seconds since the Unix epoch on the system clock, with a fraction.
double SystemClockSeconds();

// A vector of `size` values for a new chunk, from the pool when it has one.
// Values of a recycled vector are those of its last chunk, and a fresh one
// holds zeros: the producer writes every position it needs.
std::vector<double> TakeSampleVector(ChunkBufferState& buffer, std::size_t size);

void PushChunkEntry(ChunkBufferState& buffer, ChunkEntry&& entry);
std::size_t ClearChunkBuffer(ChunkBufferState& buffer, bool reset_dropped);
ChunkReadResult ReadChunkBuffer(ChunkBufferState& buffer, int timeout_ms, bool drain);

}  // namespace kx

#endif  // KX_STREAM_CHUNK_BUFFER_H
