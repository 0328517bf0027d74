#include "gateway/commands.h"
#include "gateway/failure.h"
#include "gateway/values.h"
#include "session/session_state.h"
#include "stream/chunk_buffer.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kx {
namespace {

struct ReadChunkOptions {
    int timeout_ms = 0;
    bool drain = true;
};

ReadChunkOptions ReadChunkOptionsFromPayload(const mxArray* payload) {
    ReadChunkOptions options;
    if (FindPayloadField(payload, "timeout_ms") != nullptr) {
        options.timeout_ms = TruncateToInt32(RequirePayloadScalar(payload, "timeout_ms", false));
    }
    if (FindPayloadField(payload, "drain") != nullptr) {
        options.drain = RequirePayloadScalar(payload, "drain", true) != 0.0;
    }
    return options;
}

MxPtr MakeMetaWithoutChunks(std::size_t dropped_chunks) {
    return StructBuilder({"available", "channel_count", "chunk_count", "chunk_sizes", "dropped_chunks", "received_at",
                          "sample_count", "sample_frequency_hz"})
        .Set("available", MakeLogical(false))
        .Set("channel_count", MakeDouble(0))
        .Set("chunk_count", MakeDouble(0))
        .Set("chunk_sizes", MakeEmptyDouble())
        .Set("dropped_chunks", MakeDouble(static_cast<double>(dropped_chunks)))
        .Set("received_at", MakeEmptyDouble())
        .Set("sample_count", MakeDouble(0))
        .Set("sample_frequency_hz", MakeEmptyDouble())
        .Release();
}

}  // namespace

MxPtr HandleReadChunk(const mxArray* payload) {
    const ReadChunkOptions options = ReadChunkOptionsFromPayload(payload);
    const ChunkReadResult read = ReadChunkBuffer(*Session(), options.timeout_ms, options.drain);
    if (read.chunks.empty()) {
        return StructBuilder({"data", "meta"})
            .Set("data", MakeEmptyDouble())
            .Set("meta", MakeMetaWithoutChunks(read.dropped_chunks))
            .Release();
    }

    // A draining read takes only chunks of one layout, so this holds unless
    // the buffer broke its contract.
    const std::size_t channel_count = read.chunks.front().channel_count;
    std::size_t total_samples = 0;
    std::vector<std::uint64_t> chunk_sizes;
    std::vector<double> received_at;
    chunk_sizes.reserve(read.chunks.size());
    received_at.reserve(read.chunks.size());
    for (const ChunkEntry& chunk : read.chunks) {
        if (chunk.channel_count != channel_count) {
            ThrowMex(id::kRuntimeError, "Chunk channel count changed during collection.");
        }
        total_samples += chunk.sample_count;
        chunk_sizes.push_back(chunk.sample_count);
        received_at.push_back(chunk.received_at);
    }

    // Every element is written by the copies below, so the matrix is not
    // zeroed first; each chunk is one block of whole columns.
    MxPtr data = CheckCreated(mxCreateUninitNumericMatrix(channel_count, total_samples, mxDOUBLE_CLASS, mxREAL));
    double* out = mxGetDoubles(data.get());
    std::size_t column = 0;
    for (const ChunkEntry& chunk : read.chunks) {
        std::copy(chunk.samples.begin(), chunk.samples.end(), out + channel_count * column);
        column += chunk.sample_count;
    }

    const std::int32_t rate = read.chunks.back().sample_frequency_hz;
    MxPtr meta = StructBuilder({"available", "channel_count", "chunk_count", "chunk_sizes", "dropped_chunks",
                                "received_at", "sample_count", "sample_frequency_hz"})
                     .Set("available", MakeLogical(true))
                     .Set("channel_count", MakeDouble(static_cast<double>(channel_count)))
                     .Set("chunk_count", MakeDouble(static_cast<double>(read.chunks.size())))
                     .Set("chunk_sizes", MakeSizeRowVector(chunk_sizes))
                     .Set("dropped_chunks", MakeDouble(static_cast<double>(read.dropped_chunks)))
                     .Set("received_at", MakeDoubleRowVector(received_at))
                     .Set("sample_count", MakeDouble(static_cast<double>(total_samples)))
                     .Set("sample_frequency_hz", rate > 0 ? MakeDouble(rate) : MakeEmptyDouble())
                     .Release();
    return StructBuilder({"data", "meta"}).Set("data", std::move(data)).Set("meta", std::move(meta)).Release();
}

}  // namespace kx
