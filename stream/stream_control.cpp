#include "stream/stream_control.h"

#include "gateway/commands.h"
#include "gateway/failure.h"
#include "gateway/timing.h"
#include "gateway/values.h"
#include "interfaces/kxcore.h"
#include "session/session_state.h"
#include "stream/chunk_buffer.h"
#include "stream/mock_stream.h"
#include "stream/sample_conversion.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>
#include <thread>

namespace kx {
namespace {

constexpr std::size_t kDefaultBufferChunks = 256;
constexpr int kStreamStateTimeoutMs = 10000;

std::size_t ReadBufferCapacity(const mxArray* payload) {
    if (FindPayloadField(payload, "max_buffer_chunks") == nullptr) {
        return kDefaultBufferChunks;
    }
    const std::int32_t capacity = TruncateToInt32(RequirePayloadScalar(payload, "max_buffer_chunks", false));
    if (capacity < 1) {
        ThrowMex(id::kInvalidArgument, "\"max_buffer_chunks\" must be positive.");
    }
    return static_cast<std::size_t>(capacity);
}

void StoreStreamRateFromSdk(SessionState& session, kx_eeg_manager* manager) {
    const std::uint8_t code = CallSdkOrThrow("kx_eeg_manager_get_sample_frequency",
                                             [manager] { return kx_eeg_manager_get_sample_frequency(manager); });
    session.stream_sample_rate_hz.store(SampleRateFromCode(code));
}

template <typename Element>
void ConvertChannel(const void* source, std::size_t sample_count, std::size_t channel_count, std::size_t position,
                    double* samples) {
    const Element* values = static_cast<const Element*>(source);
    for (std::size_t s = 0; s < sample_count; ++s) {
        samples[s * channel_count + position] = static_cast<double>(values[s]);
    }
}

bool AllFloat32Channels(const void* const* data, const std::uint8_t* types, std::size_t channel_count) {
    for (std::size_t i = 0; i < channel_count; ++i) {
        if (data[i] == nullptr || types[i] != KX_DATA_TYPE_FLOAT32) {
            return false;
        }
    }
    return true;
}

void StartRealStream(SessionState& session, kx_eeg_manager* manager) {
    StoreStreamRateFromSdk(session, manager);
    CallSdkOrThrow("kx_eeg_manager_set_callback_chunk",
                   [manager, &session] { kx_eeg_manager_set_callback_chunk(manager, ChunkCallback, &session); });
    CallSdkRequiringOk("kx_eeg_manager_start_stream",
                       [manager] { return kx_eeg_manager_start_stream(manager, nullptr, nullptr); });
    if (!WaitUntilStreamingState(true, kStreamStateTimeoutMs)) {
        ThrowMex(id::kNotStreaming, "Stream did not start.");
    }
    StoreStreamRateFromSdk(session, manager);
}

void StartMockStream(SessionState& session) {
    if (session.mock_streaming) {
        ThrowMex(id::kStreaming, "Stream already running.");
    }
    StopMockStreamThread(session);
    {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        session.mock_stop_requested.exchange(false);
        session.stream_sample_rate_hz.store(session.mock_sample_rate_hz);
        session.mock_streaming = true;
        session.mock_sample_index = 0;
    }
    try {
        session.mock_thread = std::thread([&session] { MockStreamLoop(session); });
    } catch (...) {
        session.mock_streaming = false;  // no thread: nothing streams
        throw;
    }
}

}  // namespace

std::int32_t SampleRateFromCode(std::uint8_t code) {
    switch (code) {
        case KX_RATE_16000: return 16000;
        case KX_RATE_8000: return 8000;
        case KX_RATE_4000: return 4000;
        case KX_RATE_2000: return 2000;
        case KX_RATE_1000: return 1000;
        case KX_RATE_500: return 500;
        case KX_RATE_250: return 250;
        default: return -1;
    }
}

void ChunkCallback(const void* const* data, std::size_t sample_count, void* user) noexcept {
    if (user == nullptr) {
        return;
    }
    SessionState& session = *static_cast<SessionState*>(user);
    kx_eeg_manager* manager = session.manager.load();
    if (manager == nullptr) {
        return;
    }
    try {
        const std::uint8_t* types = nullptr;
        std::size_t channel_count = 0;
        kx_eeg_manager_get_stream_channel_data_types(manager, &types, &channel_count);
        if (types == nullptr) {
            channel_count = 0;
        }
        if (sample_count != 0 && channel_count > std::numeric_limits<std::size_t>::max() / sample_count) {
            return;  // a layout that cannot be addressed: the chunk is lost
        }
        ChunkEntry entry;
        entry.received_at = SystemClockSeconds();
        entry.samples = TakeSampleVector(session, channel_count * sample_count);
        entry.channel_count = channel_count;
        entry.sample_count = sample_count;
        entry.sample_frequency_hz = session.stream_sample_rate_hz.load();
        double* samples = entry.samples.data();
        if (data != nullptr && AllFloat32Channels(data, types, channel_count)) {
            InterleaveFloat32(data, channel_count, sample_count, samples);
            PushChunkEntry(session, std::move(entry));
            return;
        }
        // A recycled vector holds its last chunk: rows without data read 0.0.
        std::fill(entry.samples.begin(), entry.samples.end(), 0.0);
        for (std::size_t i = 0; i < channel_count && data != nullptr; ++i) {
            const void* channel = data[i];
            if (channel == nullptr) {
                continue;
            }
            switch (types[i]) {
                case KX_DATA_TYPE_FLOAT32:
                    ConvertChannel<float>(channel, sample_count, channel_count, i, samples);
                    break;
                case KX_DATA_TYPE_UINT8:
                    ConvertChannel<std::uint8_t>(channel, sample_count, channel_count, i, samples);
                    break;
                case KX_DATA_TYPE_UINT64:
                    ConvertChannel<std::uint64_t>(channel, sample_count, channel_count, i, samples);
                    break;
                case KX_DATA_TYPE_FLOAT64:
                    ConvertChannel<double>(channel, sample_count, channel_count, i, samples);
                    break;
                default: break;  // an element type the gateway cannot read stays 0.0
            }
        }
        PushChunkEntry(session, std::move(entry));
    } catch (...) {
        // Nothing may reach the SDK's thread; the chunk is lost.
    }
}

bool WaitUntilStreamingState(bool streaming, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (IsStreaming() == streaming) {
            return true;
        }
        SleepResuming(kPollInterval);
    }
    return IsStreaming() == streaming;
}

MxPtr HandleStartStream(const mxArray* payload) {
    SessionState& session = *Session();
    kx_eeg_manager* manager = RequireConnectedManager();
    const std::size_t capacity = ReadBufferCapacity(payload);
    if (!session.mock_mode && session.stream_incompatible) {
        ThrowMex(id::kUnsupportedDevice, "Stream is incompatible. Update the firmware.");
    }
    {
        std::lock_guard<std::mutex> lock(session.mutex);
        session.max_buffer_chunks = capacity;
    }
    ClearChunkBuffer(session, true);
    if (session.mock_mode) {
        StartMockStream(session);
    } else {
        StartRealStream(session, manager);
    }
    return StructBuilder({"sample_frequency_hz", "started"})
        .Set("sample_frequency_hz", MakeDouble(session.stream_sample_rate_hz.load()))
        .Set("started", MakeLogical(true))
        .Release();
}

MxPtr HandleStopStream() {
    SessionState& session = *Session();
    kx_eeg_manager* manager = RequireManager();
    const bool was_streaming = IsStreaming();
    if (session.mock_mode) {
        if (was_streaming) {
            StopMockStreamThread(session);
        }
    } else {
        if (was_streaming) {
            CallSdkRequiringOk("kx_eeg_manager_stop_stream",
                               [manager] { return kx_eeg_manager_stop_stream(manager, nullptr, nullptr); });
            if (!WaitUntilStreamingState(false, kStreamStateTimeoutMs)) {
                ThrowMex(id::kStreaming, "Stream did not stop.");
            }
        }
        CallSdkOrThrow("kx_eeg_manager_set_callback_chunk",
                       [manager] { kx_eeg_manager_set_callback_chunk(manager, nullptr, nullptr); });
    }
    session.stream_sample_rate_hz.store(0);
    const std::size_t drained = ClearChunkBuffer(session, false);
    return StructBuilder({"drained_chunks", "stopped"})
        .Set("drained_chunks", MakeDouble(static_cast<double>(drained)))
        .Set("stopped", MakeLogical(was_streaming))
        .Release();
}

}  // namespace kx
