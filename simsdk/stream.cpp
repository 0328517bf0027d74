// Streams of the simulated SDK: starting and stopping, the chunk callback,
// the channel data types, and the per-manager stream thread that fills and
// delivers the chunks.
#include <algorithm>
#include <cstring>

#include "operation.h"
#include "replay.h"

using kxsim::detail::Manager;
using kxsim::detail::OperationScope;
using kxsim::detail::Ptr;
using kxsim::detail::World;
using Lock = std::unique_lock<std::mutex>;

namespace kxsim {
namespace detail {
namespace {

constexpr auto kDetachWaitLimit = std::chrono::seconds(10);
constexpr auto kIdleWait = std::chrono::seconds(1);

const uint8_t kEmptyTypes[1] = {0};

// The time between chunks on the system clock. The scenario and the headset
// table bound spp, the rate and clock_ppm, so the nanoseconds fit; anything
// else is clamped rather than converted out of range.
Clock::duration Period(const Manager& m, double clock_ppm) {
    const double spp = static_cast<double>(std::max<uint64_t>(1, m.headset.sample_per_packet));
    const double ns = spp * 1e9 / (RateHz(m.rate_code) * (1.0 + clock_ppm * 1e-6));
    constexpr double kLongest = 3600e9;
    const auto whole = static_cast<int64_t>(ns > 0 && ns < kLongest ? ns : kLongest);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(whole));
}

size_t ElementSize(int code) {
    switch (code) {
        case KX_DATA_TYPE_UINT8: return 1;
        case KX_DATA_TYPE_UINT64:
        case KX_DATA_TYPE_FLOAT64: return 8;
        default: return 4;
    }
}

// One channel's array of the given type: float types carry the signal's
// values, integer types the ramp counters.
void FillChannel(std::vector<uint8_t>& buf, int code, int position, uint64_t first, const std::vector<float>& signal) {
    const size_t count = signal.size();
    buf.resize(count * ElementSize(code));
    uint8_t* out = buf.data();
    for (size_t i = 0; i < count; ++i) {
        switch (code) {
            case KX_DATA_TYPE_UINT8: {
                const uint8_t e = static_cast<uint8_t>(RampValue(code, position, first + i));
                std::memcpy(out + i, &e, 1);
                break;
            }
            case KX_DATA_TYPE_UINT64: {
                const uint64_t e = static_cast<uint64_t>(RampValue(code, position, first + i));
                std::memcpy(out + i * 8, &e, 8);
                break;
            }
            case KX_DATA_TYPE_FLOAT64: {
                const double e = signal[i];
                std::memcpy(out + i * 8, &e, 8);
                break;
            }
            default: std::memcpy(out + i * 4, &signal[i], 4); break;
        }
    }
}

// The electrode position p carries: the p-th enabled one; positions past
// them (a scripted channel count) take electrode p modulo the count, and -1
// when the headset has none.
std::vector<int> ElectrodesOfPositions(const Manager& m, size_t positions) {
    std::vector<int> enabled;
    for (size_t e = 0; e < m.enabled.size(); ++e)
        if (m.enabled[e]) enabled.push_back(static_cast<int>(e));
    std::vector<int> out(positions, -1);
    for (size_t p = 0; p < positions; ++p) {
        if (p < enabled.size())
            out[p] = enabled[p];
        else if (!m.enabled.empty())
            out[p] = static_cast<int>(p % m.enabled.size());
    }
    return out;
}

// The signal values of one chunk, per position.
void FillSignal(World& world, Manager& m, const std::vector<int>& electrodes, uint64_t first, size_t samples,
                std::vector<std::vector<float>>& block, std::vector<float>& frame) {
    block.resize(electrodes.size());
    for (auto& values : block) values.assign(samples, 0.0f);
    switch (m.signal) {
        case SignalKind::kRamp:
            for (size_t p = 0; p < electrodes.size(); ++p)
                for (size_t i = 0; i < samples; ++i) block[p][i] = RampSample(static_cast<int>(p), first + i);
            break;
        case SignalKind::kEeg:
            if (!m.eeg) break;
            frame.resize(static_cast<size_t>(m.eeg->Electrodes()));
            for (size_t i = 0; i < samples; ++i) {
                m.eeg->Next(frame.data());
                for (size_t p = 0; p < electrodes.size(); ++p)
                    if (electrodes[p] >= 0 && electrodes[p] < m.eeg->Electrodes()) block[p][i] = frame[electrodes[p]];
            }
            break;
        case SignalKind::kReplay:
            if (!m.replay) break;
            for (size_t p = 0; p < electrodes.size(); ++p) {
                if (electrodes[p] < 0 || electrodes[p] >= m.replay->Channels()) continue;
                if (!m.replay->Read(electrodes[p], first, samples, block[p].data()))
                    AddViolation(world,
                                 "reading " + m.replay->Info().path + " failed at sample " + std::to_string(first));
            }
            break;
    }
}

void ReleaseSignal(Manager& m) {
    m.eeg.reset();
    m.replay.reset();
}

}  // namespace

uint32_t RateHz(int code) {
    static const uint32_t kHz[] = {16000, 8000, 4000, 2000, 1000, 500, 250};
    return (code >= 0 && code <= 6) ? kHz[code] : 250;
}

size_t EnabledCount(const Manager& m) {
    return static_cast<size_t>(std::count(m.enabled.begin(), m.enabled.end(), true));
}

void EndStreamState(Manager& m) {
    m.stream_requested = false;
    m.emitting = false;
    m.streaming = false;
    m.burst_pending = 0;
    ++m.stream_gen;
    ReleaseSignal(m);
    m.stream_cv.notify_all();
}

void StreamUp(World& world, Manager& m) {
    m.streaming = true;
    m.emitting = true;
    m.sample_index = 0;
    m.chunks_in_stream = 0;
    m.last_channel_count = EnabledCount(m);
    m.burst_pending = world.start_burst;
    m.period = Period(m, world.clock_ppm);
    m.next_due = Clock::now() + m.period;
    ReleaseSignal(m);
    m.signal = world.signal;
    if (m.signal == SignalKind::kEeg)
        m.eeg = std::make_unique<EegGenerator>(world.eeg, m.headset.name, static_cast<int>(m.enabled.size()),
                                               RateHz(m.rate_code));
    if (m.signal == SignalKind::kReplay) m.replay = world.replay;
    m.stream_cv.notify_all();
}

void NotifyStreams(World& world) {
    for (auto& m : world.managers) m->stream_cv.notify_all();
}

void StreamThread(World* world, Manager* m) {
    std::vector<std::vector<uint8_t>> buffers;
    std::vector<const void*> pointers;
    std::vector<std::vector<float>> block;
    std::vector<float> frame;
    Lock lock(world->mu);
    while (!m->stop) {
        if (!m->emitting) {
            m->stream_cv.wait_for(lock, kIdleWait, [&] { return m->stop.load() || m->emitting; });
            continue;
        }
        bool manual_chunk = false;
        bool untimed = true;
        if (m->burst_pending > 0) {
            --m->burst_pending;
        } else if (world->manual_pending > 0) {
            --world->manual_pending;
            manual_chunk = true;
        } else if (world->manual) {
            m->stream_cv.wait_for(lock, kIdleWait, [&] {
                return m->stop || !m->emitting || world->manual_pending > 0 || !world->manual || m->burst_pending > 0;
            });
            continue;
        } else {
            const Clock::time_point now = Clock::now();
            if (now < m->next_due) {
                const Clock::time_point due = m->next_due;
                m->stream_cv.wait_until(lock, due, [&] {
                    return m->stop || !m->emitting || world->manual_pending > 0 || world->manual ||
                           m->burst_pending > 0;
                });
                continue;
            }
            m->next_due += m->period;
            // A callback that blocked for long is not followed by a catch-up flood.
            if (m->next_due + std::chrono::seconds(1) < now) m->next_due = now;
            untimed = false;
        }

        const uint64_t spp = m->headset.sample_per_packet;
        size_t channels = EnabledCount(*m);
        if (world->count_change && m->chunks_in_stream >= world->count_change_after)
            channels = static_cast<size_t>(std::max(0, world->count_change_to));
        m->last_channel_count = channels;
        buffers.resize(channels);
        pointers.assign(channels, nullptr);
        FillSignal(*world, *m, ElectrodesOfPositions(*m, channels), m->sample_index, static_cast<size_t>(spp), block,
                   frame);
        for (size_t p = 0; p < channels; ++p) {
            const int code =
                (world->types_set && p < world->channel_types.size()) ? world->channel_types[p] : KX_DATA_TYPE_FLOAT32;
            FillChannel(buffers[p], code, static_cast<int>(p), m->sample_index, block[p]);
            const bool null_channel = std::find(world->null_channels.begin(), world->null_channels.end(),
                                                static_cast<int>(p)) != world->null_channels.end();
            pointers[p] = null_channel ? nullptr : buffers[p].data();
        }
        m->sample_index += spp;
        ++m->chunks_in_stream;

        const kx_chunk_callback cb = m->chunk_cb;
        void* const user = m->chunk_user;
        if (cb) {
            m->delivering = true;
            ++m->delivery_seq;
            tl_chunk_callback_of = m;
            lock.unlock();
            cb(pointers.data(), static_cast<size_t>(spp), user);
            lock.lock();
            tl_chunk_callback_of = nullptr;
            m->delivering = false;
            m->delivered_cv.notify_all();
            ++world->chunks_produced;
        }
        if (manual_chunk) ++world->manual_emitted;
        if (untimed) m->next_due = Clock::now() + m->period;
        world->changed.notify_all();
    }
}

}  // namespace detail
}  // namespace kxsim

using kxsim::detail::After;
using kxsim::detail::PushEvent;

extern "C" {

bool kx_eeg_manager_is_streaming(kx_eeg_manager* manager) {
    OperationScope call("kx_eeg_manager_is_streaming", manager);
    if (call.Scripted()) return call.script->status != 0;
    return call.manager && call.manager->streaming;
}

void kx_eeg_manager_set_callback_chunk(kx_eeg_manager* manager, kx_chunk_callback callback, void* user) {
    OperationScope call("kx_eeg_manager_set_callback_chunk", manager,
                        ", " + kxsim::detail::Fn(callback) + ", " + Ptr(user));
    Manager* const m = call.manager;
    if (call.Scripted() || !m) return;
    const bool inside = kxsim::detail::tl_chunk_callback_of == m;
    if (inside)
        AddViolation(call.world,
                     std::string(call.name) + " from inside the chunk callback of m" + std::to_string(m->id));
    m->chunk_cb = callback;
    m->chunk_user = callback ? user : nullptr;
    if (inside || !m->delivering) return;
    const uint64_t seq = m->delivery_seq;
    if (!m->delivered_cv.wait_for(call.lock, kxsim::detail::kDetachWaitLimit,
                                  [&] { return !m->delivering || m->delivery_seq != seq; }))
        AddViolation(call.world,
                     std::string(call.name) + " waited over 10 s for a chunk callback of m" + std::to_string(m->id));
}

kx_status kx_eeg_manager_start_stream(kx_eeg_manager* manager, void* reserved1, void* reserved2) {
    OperationScope call("kx_eeg_manager_start_stream", manager, ", " + Ptr(reserved1) + ", " + Ptr(reserved2));
    World& world = call.world;
    Manager* const m = call.manager;
    if (call.Scripted()) return static_cast<kx_status>(call.script->status);
    if (!m || !m->linked) return KX_ERROR_CONNECTION;
    if (m->stream_requested) return KX_ERROR_OK;
    m->stream_requested = true;
    ++m->stream_gen;
    m->sample_index = 0;
    m->chunks_in_stream = 0;
    if (world.start_delay_ms == 0)
        kxsim::detail::StreamUp(world, *m);
    else if (world.start_delay_ms > 0)
        PushEvent(*m, {After(world.start_delay_ms), Manager::EventKind::kStreamUp, m->stream_gen});
    return KX_ERROR_OK;
}

kx_status kx_eeg_manager_stop_stream(kx_eeg_manager* manager, void* reserved1, void* reserved2) {
    OperationScope call("kx_eeg_manager_stop_stream", manager, ", " + Ptr(reserved1) + ", " + Ptr(reserved2));
    World& world = call.world;
    Manager* const m = call.manager;
    if (call.Scripted()) return static_cast<kx_status>(call.script->status);
    if (!m) return KX_ERROR_CONNECTION;
    if (kxsim::detail::tl_chunk_callback_of == m)
        AddViolation(world, std::string(call.name) + " from inside the chunk callback of m" + std::to_string(m->id));
    if (!m->stream_requested) return KX_ERROR_OK;
    m->stream_requested = false;
    m->emitting = false;
    m->burst_pending = 0;
    ++m->stream_gen;
    kxsim::detail::ReleaseSignal(*m);
    m->stream_cv.notify_all();
    if (world.stop_delay_ms == 0)
        m->streaming = false;
    else if (world.stop_delay_ms > 0)
        PushEvent(*m, {After(world.stop_delay_ms), Manager::EventKind::kStreamDown, m->stream_gen});
    return KX_ERROR_OK;
}

uint8_t kx_eeg_manager_get_sample_frequency(kx_eeg_manager* manager) {
    OperationScope call("kx_eeg_manager_get_sample_frequency", manager);
    if (call.Scripted()) return static_cast<uint8_t>(call.script->status);
    return call.manager ? static_cast<uint8_t>(call.manager->rate_code) : static_cast<uint8_t>(KX_RATE_250);
}

void kx_eeg_manager_get_stream_channel_data_types(kx_eeg_manager* manager, const uint8_t** types, size_t* count) {
    OperationScope call("kx_eeg_manager_get_stream_channel_data_types", manager, ", " + Ptr(types) + ", " + Ptr(count));
    World& world = call.world;
    Manager* const m = call.manager;
    if (!types || !count) {
        AddViolation(world, std::string(call.name) + " with a null out-argument");
        if (call.script) ThrowIfScripted(*call.script);
        return;
    }
    *types = nullptr;
    *count = 0;
    if (call.Scripted() || !m) return;
    std::vector<uint8_t> now;
    if (world.types_set) {
        for (int code : world.channel_types) now.push_back(static_cast<uint8_t>(code));
    } else {
        now.assign((m->emitting || m->chunks_in_stream > 0) ? m->last_channel_count : kxsim::detail::EnabledCount(*m),
                   KX_DATA_TYPE_FLOAT32);
    }
    if (m->type_arrays.empty() || m->type_arrays.back() != now) m->type_arrays.push_back(std::move(now));
    const std::vector<uint8_t>& out = m->type_arrays.back();
    *types = out.empty() ? kxsim::detail::kEmptyTypes : out.data();
    *count = out.size();
}

}  // extern "C"
