#include "stream/chunk_buffer.h"

#include <chrono>
#include <mutex>
#include <utility>

namespace kx {
namespace {

// Under the mutex: keeps `samples` as a spare while the buffered chunks
// (with `arriving` more about to be queued) and the spares stay within the
// bound; otherwise leaves it with the caller, to be freed.
void KeepSpareLocked(ChunkBufferState& buffer, std::vector<double>& samples, std::size_t arriving = 0) {
    const std::size_t bound = buffer.max_buffer_chunks + kSpareSampleVectors;
    const std::size_t held = buffer.chunk_buffer.size() + arriving + buffer.spare_samples.size();
    if (samples.capacity() != 0 && held < bound) {
        buffer.spare_samples.push_back(std::move(samples));
    }
}

// Under the mutex: hands every chunk's samples to the pool while it has room.
void KeepSparesLocked(ChunkBufferState& buffer, std::vector<ChunkEntry>& chunks) {
    for (ChunkEntry& chunk : chunks) {
        KeepSpareLocked(buffer, chunk.samples);
    }
}

std::vector<double> TakeSpareLocked(ChunkBufferState& buffer) {
    std::vector<double> samples;
    if (!buffer.spare_samples.empty()) {
        samples = std::move(buffer.spare_samples.back());
        buffer.spare_samples.pop_back();
    }
    return samples;
}

}  // namespace

double SystemClockSeconds() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count()) / 1e9;
}

std::vector<double> TakeSampleVector(ChunkBufferState& buffer, std::size_t size) {
    std::vector<double> samples;
    if (size == 0) {
        return samples;
    }
    {
        std::lock_guard<std::mutex> lock(buffer.mutex);
        samples = TakeSpareLocked(buffer);
    }
    if (samples.capacity() < size || samples.capacity() / 2 > size) {
        samples = std::vector<double>();  // a spare of another layout is freed here, outside the lock
    }
    samples.resize(size);  // the same layout as last time: nothing to write
    return samples;
}

void PushChunkEntry(ChunkBufferState& buffer, ChunkEntry&& entry) {
    {
        std::lock_guard<std::mutex> lock(buffer.mutex);
        while (!buffer.chunk_buffer.empty() && buffer.chunk_buffer.size() >= buffer.max_buffer_chunks) {
            std::vector<double> oldest = std::move(buffer.chunk_buffer.front().samples);
            buffer.chunk_buffer.pop_front();
            ++buffer.dropped_chunks;
            KeepSpareLocked(buffer, oldest, 1);
        }
        buffer.chunk_buffer.push_back(std::move(entry));
    }
    buffer.chunk_available.notify_all();
}

std::size_t ClearChunkBuffer(ChunkBufferState& buffer, bool reset_dropped) {
    // A clear comes with a start, stop, connect, disconnect or teardown, never
    // in a running stream: the pool is emptied too, and everything is freed
    // after the lock is released.
    ChunkQueue discarded;
    std::vector<std::vector<double>> spares;
    {
        std::lock_guard<std::mutex> lock(buffer.mutex);
        discarded.swap(buffer.chunk_buffer);
        spares.swap(buffer.spare_samples);
        if (reset_dropped) {
            buffer.dropped_chunks = 0;
        }
    }
    return discarded.size();
}

ChunkReadResult ReadChunkBuffer(ChunkBufferState& buffer, int timeout_ms, bool drain) {
    ChunkReadResult result(buffer);
    std::unique_lock<std::mutex> lock(buffer.mutex);
    if (timeout_ms >= 1 && buffer.chunk_buffer.empty()) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        buffer.chunk_available.wait_until(lock, deadline, [&buffer] { return !buffer.chunk_buffer.empty(); });
    }
    ChunkQueue& queue = buffer.chunk_buffer;
    if (!queue.empty()) {
        result.available = true;
        if (drain) {
            // Only the chunks' handles move under the lock; their samples are
            // copied by the caller after it is released.
            const std::size_t channels = queue.front().channel_count;
            std::size_t run = 0;
            while (run < queue.size() && queue[run].channel_count == channels) {
                ++run;
            }
            result.chunks.reserve(run);
            for (std::size_t i = 0; i < run; ++i) {
                result.chunks.push_back(std::move(queue.front()));
                queue.pop_front();
            }
        } else {
            // The newest chunk stays queued and may be dropped and recycled
            // at any push, so its copy is made now.
            const ChunkEntry& newest = queue.back();
            ChunkEntry copy;
            copy.samples = TakeSpareLocked(buffer);
            copy.samples.assign(newest.samples.begin(), newest.samples.end());
            copy.channel_count = newest.channel_count;
            copy.sample_count = newest.sample_count;
            copy.received_at = newest.received_at;
            copy.sample_frequency_hz = newest.sample_frequency_hz;
            result.chunks.push_back(std::move(copy));
        }
    }
    result.dropped_chunks = buffer.dropped_chunks;
    buffer.dropped_chunks = 0;
    return result;
}

ChunkReadResult::ChunkReadResult(ChunkReadResult&& other) noexcept
    : available(other.available),
      dropped_chunks(other.dropped_chunks),
      chunks(std::move(other.chunks)),
      source_(std::exchange(other.source_, nullptr)) {}

ChunkReadResult& ChunkReadResult::operator=(ChunkReadResult&& other) noexcept {
    if (this != &other) {
        ChunkReadResult old(std::move(*this));  // hands this result's vectors back
        available = other.available;
        dropped_chunks = other.dropped_chunks;
        chunks = std::move(other.chunks);
        source_ = std::exchange(other.source_, nullptr);
    }
    return *this;
}

ChunkReadResult::~ChunkReadResult() {
    if (source_ == nullptr || chunks.empty()) {
        return;
    }
    try {
        std::lock_guard<std::mutex> lock(source_->mutex);
        KeepSparesLocked(*source_, chunks);
    } catch (...) {
        // A mutex that cannot be locked: the vectors are freed instead.
    }
}

}  // namespace kx
