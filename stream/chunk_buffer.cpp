#include "stream/chunk_buffer.h"

#include "session/session_state.h"

#include <chrono>
#include <iterator>
#include <mutex>

namespace kx {

double SystemClockSeconds() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count()) / 1e9;
}

void PushChunkEntry(SessionState& session, ChunkEntry&& entry) {
    {
        std::lock_guard<std::mutex> lock(session.mutex);
        while (!session.chunk_buffer.empty() && session.chunk_buffer.size() >= session.max_buffer_chunks) {
            session.chunk_buffer.pop_front();
            ++session.dropped_chunks;
        }
        session.chunk_buffer.push_back(std::move(entry));
    }
    session.chunk_available.notify_all();
}

std::size_t ClearChunkBuffer(SessionState& session, bool reset_dropped) {
    std::deque<ChunkEntry> discarded;
    {
        std::lock_guard<std::mutex> lock(session.mutex);
        discarded.swap(session.chunk_buffer);
        if (reset_dropped) {
            session.dropped_chunks = 0;
        }
    }
    return discarded.size();  // the samples are released outside the lock
}

ChunkReadResult ReadChunkBuffer(SessionState& session, int timeout_ms, bool drain) {
    ChunkReadResult result;
    std::unique_lock<std::mutex> lock(session.mutex);
    if (timeout_ms >= 1 && session.chunk_buffer.empty()) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        session.chunk_available.wait_until(lock, deadline, [&session] { return !session.chunk_buffer.empty(); });
    }
    std::deque<ChunkEntry>& buffer = session.chunk_buffer;
    if (!buffer.empty()) {
        result.available = true;
        if (drain) {
            const std::size_t channels = buffer.front().channel_count;
            auto run_end = buffer.begin();
            while (run_end != buffer.end() && run_end->channel_count == channels) {
                ++run_end;
            }
            result.chunks.reserve(static_cast<std::size_t>(std::distance(buffer.begin(), run_end)));
            std::move(buffer.begin(), run_end, std::back_inserter(result.chunks));
            buffer.erase(buffer.begin(), run_end);
        } else {
            result.chunks.push_back(buffer.back());
        }
    }
    result.dropped_chunks = session.dropped_chunks;
    session.dropped_chunks = 0;
    return result;
}

void PushChunkEntry(ChunkEntry&& entry) {
    PushChunkEntry(*Session(), std::move(entry));
}

std::size_t ClearChunkBuffer(bool reset_dropped) {
    return ClearChunkBuffer(*Session(), reset_dropped);
}

ChunkReadResult ReadChunkBuffer(int timeout_ms, bool drain) {
    return ReadChunkBuffer(*Session(), timeout_ms, drain);
}

}  // namespace kx
