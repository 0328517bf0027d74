// The chunk buffer's types: one chunk of samples, what a read returns, and
// the members the buffer keeps (the session record holds them). Standard
// library only, so the session record and the stream code can both include
// it without including each other. The buffer's contract is in
// stream/chunk_buffer.h.
#ifndef KX_STREAM_CHUNK_TYPES_H
#define KX_STREAM_CHUNK_TYPES_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace kx {

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

// A first-in first-out queue of chunks in a ring of slots. The ring grows to
// the most chunks ever queued (a power of two, at least 8) and is then
// reused, so a steady stream queues and dequeues without allocating.
class ChunkQueue {
public:
    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }
    // The i-th oldest chunk; 0 is the front.
    ChunkEntry& operator[](std::size_t i) { return slots_[(head_ + i) & (slots_.size() - 1)]; }
    ChunkEntry& front() { return (*this)[0]; }
    ChunkEntry& back() { return (*this)[count_ - 1]; }

    // Appends; when the ring must grow and cannot, throws and leaves the
    // queue as it was.
    void push_back(ChunkEntry&& entry) {
        if (count_ == slots_.size()) {
            Grow();
        }
        (*this)[count_] = std::move(entry);
        ++count_;
    }

    // Removes the oldest chunk, freeing whatever samples it still holds.
    void pop_front() {
        front() = ChunkEntry();
        head_ = (head_ + 1) & (slots_.size() - 1);
        --count_;
    }

    void swap(ChunkQueue& other) noexcept {
        slots_.swap(other.slots_);
        std::swap(head_, other.head_);
        std::swap(count_, other.count_);
    }

private:
    void Grow() {
        std::vector<ChunkEntry> grown(slots_.empty() ? 8 : 2 * slots_.size());
        for (std::size_t i = 0; i < count_; ++i) {
            grown[i] = std::move((*this)[i]);
        }
        slots_.swap(grown);
        head_ = 0;
    }

    std::vector<ChunkEntry> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

// The buffer's members, all guarded by `mutex`.
struct ChunkBufferState {
    std::size_t max_buffer_chunks = 256;  // capacity, at least 1
    std::size_t dropped_chunks = 0;       // discarded at the capacity since the last read or reset
    std::mutex mutex;
    std::condition_variable chunk_available;  // notified after every push
    ChunkQueue chunk_buffer;                  // oldest first
    // Sample vectors of chunks that were read or dropped, kept for the next
    // chunks instead of being freed: the pool.
    std::vector<std::vector<double>> spare_samples;
};

// What ReadChunkBuffer returns. When it is destroyed it hands the chunks'
// sample vectors back to the pool of the buffer they came from, taking that
// buffer's mutex, so it must not outlive the buffer nor be destroyed under
// its mutex; move the samples out to keep them. Its members are defined with
// the buffer's operations, in stream/chunk_buffer.cpp.
class ChunkReadResult {
public:
    ChunkReadResult() = default;
    explicit ChunkReadResult(ChunkBufferState& source) : source_(&source) {}
    ChunkReadResult(ChunkReadResult&& other) noexcept;
    ChunkReadResult& operator=(ChunkReadResult&& other) noexcept;
    ChunkReadResult(const ChunkReadResult&) = delete;
    ChunkReadResult& operator=(const ChunkReadResult&) = delete;
    ~ChunkReadResult();

    bool available = false;
    std::size_t dropped_chunks = 0;
    std::vector<ChunkEntry> chunks;  // oldest first

private:
    ChunkBufferState* source_ = nullptr;
};

}  // namespace kx

#endif  // KX_STREAM_CHUNK_TYPES_H
