// The kx_* operations of the simulated SDK and the per-manager threads that
// bring links up and deliver chunks.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "world.h"

using kxsim::detail::Clock;
using kxsim::detail::EnabledCount;
using kxsim::detail::Enter;
using kxsim::detail::Manager;
using kxsim::detail::Outcome;
using kxsim::detail::OutcomeKind;
using kxsim::detail::TheWorld;
using kxsim::detail::ThrowIfScripted;
using kxsim::detail::World;
using Lock = std::unique_lock<std::mutex>;

namespace kxsim {
namespace detail {
namespace {

// The manager whose callback this thread is delivering, if any: calls that
// would wait for that very callback are contract violations.
thread_local Manager* tl_chunk_callback_of = nullptr;
thread_local Manager* tl_link_callback_of = nullptr;

constexpr auto kDetachWaitLimit = std::chrono::seconds(10);
constexpr auto kIdleWait = std::chrono::seconds(1);

uint32_t RateHz(int code) {
    static const uint32_t kHz[] = {16000, 8000, 4000, 2000, 1000, 500, 250};
    return (code >= 0 && code <= 6) ? kHz[code] : 250;
}

Clock::duration Period(const Manager& m) {
    uint64_t spp = std::max<uint64_t>(1, m.headset.sample_per_packet);
    auto ns = static_cast<int64_t>(static_cast<double>(spp) * 1e9 / RateHz(m.rate_code));
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns));
}

size_t ElementSize(int code) {
    switch (code) {
        case KX_DATA_TYPE_UINT8: return 1;
        case KX_DATA_TYPE_UINT64:
        case KX_DATA_TYPE_FLOAT64: return 8;
        default: return 4;
    }
}

void FillChannel(std::vector<uint8_t>& buf, int code, int position, uint64_t first, uint64_t count) {
    buf.resize(static_cast<size_t>(count) * ElementSize(code));
    uint8_t* out = buf.data();
    for (uint64_t i = 0; i < count; ++i) {
        double v = ExpectedValue(code, position, first + i);
        switch (code) {
            case KX_DATA_TYPE_UINT8: {
                uint8_t e = static_cast<uint8_t>(v);
                std::memcpy(out + i, &e, 1);
                break;
            }
            case KX_DATA_TYPE_UINT64: {
                uint64_t e = static_cast<uint64_t>(v);
                std::memcpy(out + i * 8, &e, 8);
                break;
            }
            case KX_DATA_TYPE_FLOAT64:
                std::memcpy(out + i * 8, &v, 8);
                break;
            default: {
                float e = static_cast<float>(v);
                std::memcpy(out + i * 4, &e, 4);
                break;
            }
        }
    }
}

void EndStreamState(Manager& m) {
    m.stream_requested = false;
    m.emitting = false;
    m.streaming = false;
    m.burst_pending = 0;
    ++m.stream_gen;
    m.stream_cv.notify_all();
}

void StreamUp(World& w, Manager& m) {
    m.streaming = true;
    m.emitting = true;
    m.sample_index = 0;
    m.chunks_in_stream = 0;
    m.last_channel_count = EnabledCount(m);
    m.burst_pending = w.start_burst;
    m.next_due = Clock::now() + Period(m);
    m.stream_cv.notify_all();
}

void PushEvent(Manager& m, Manager::Event ev) {
    m.events.push_back(ev);
    m.link_cv.notify_all();
}

Clock::time_point After(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

void LinkThread(World* w, Manager* m) {
    Lock lk(w->mu);
    while (!m->stop) {
        if (m->events.empty()) {
            m->link_cv.wait_for(lk, kIdleWait, [&] { return m->stop.load() || !m->events.empty(); });
            continue;
        }
        auto next = std::min_element(m->events.begin(), m->events.end(),
                                     [](const Manager::Event& a, const Manager::Event& b) { return a.at < b.at; });
        const Clock::time_point at = next->at;
        if (Clock::now() < at) {
            m->link_cv.wait_until(lk, at, [&] {
                if (m->stop) return true;
                for (const auto& e : m->events)
                    if (e.at < at) return true;
                return false;
            });
            continue;
        }
        Manager::Event ev = *next;
        m->events.erase(next);
        switch (ev.kind) {
            case Manager::EventKind::kLinkUp:
                if (ev.gen == m->link_gen && !m->linked) {
                    m->linked = true;
                    if (m->drop_after_ms >= 0)
                        PushEvent(*m, {After(m->drop_after_ms), Manager::EventKind::kDrop, m->link_gen});
                }
                break;
            case Manager::EventKind::kDrop:
                if (ev.gen == m->link_gen && m->linked) DropLinkNow(*w, *m);
                break;
            case Manager::EventKind::kConnectCallback:
                if (ev.cb) {
                    tl_link_callback_of = m;
                    lk.unlock();
                    ev.cb(ev.success, ev.user);
                    lk.lock();
                    tl_link_callback_of = nullptr;
                }
                break;
            case Manager::EventKind::kNotifyDisconnect: {
                kx_disconnect_callback cb = m->disconnect_cb;
                void* user = m->disconnect_user;
                if (cb) {
                    tl_link_callback_of = m;
                    lk.unlock();
                    cb(user);
                    lk.lock();
                    tl_link_callback_of = nullptr;
                }
                break;
            }
            case Manager::EventKind::kStreamUp:
                if (ev.gen == m->stream_gen && m->stream_requested) StreamUp(*w, *m);
                break;
            case Manager::EventKind::kStreamDown:
                if (ev.gen == m->stream_gen && !m->stream_requested) m->streaming = false;
                break;
        }
    }
}

void StreamThread(World* w, Manager* m) {
    std::vector<std::vector<uint8_t>> buffers;
    std::vector<const void*> pointers;
    Lock lk(w->mu);
    while (!m->stop) {
        if (!m->emitting) {
            m->stream_cv.wait_for(lk, kIdleWait, [&] { return m->stop.load() || m->emitting; });
            continue;
        }
        bool manual_chunk = false;
        bool untimed = true;
        if (m->burst_pending > 0) {
            --m->burst_pending;
        } else if (w->manual_pending > 0) {
            --w->manual_pending;
            manual_chunk = true;
        } else if (w->manual) {
            m->stream_cv.wait_for(lk, kIdleWait, [&] {
                return m->stop || !m->emitting || w->manual_pending > 0 || !w->manual || m->burst_pending > 0;
            });
            continue;
        } else {
            const Clock::time_point now = Clock::now();
            if (now < m->next_due) {
                const Clock::time_point due = m->next_due;
                m->stream_cv.wait_until(lk, due, [&] {
                    return m->stop || !m->emitting || w->manual_pending > 0 || w->manual || m->burst_pending > 0;
                });
                continue;
            }
            m->next_due += Period(*m);
            // A callback that blocked for long is not followed by a catch-up flood.
            if (m->next_due + std::chrono::seconds(1) < now) m->next_due = now;
            untimed = false;
        }

        const uint64_t spp = m->headset.sample_per_packet;
        size_t channels = EnabledCount(*m);
        if (w->count_change && m->chunks_in_stream >= w->count_change_after)
            channels = static_cast<size_t>(std::max(0, w->count_change_to));
        m->last_channel_count = channels;
        buffers.resize(channels);
        pointers.assign(channels, nullptr);
        for (size_t p = 0; p < channels; ++p) {
            const int code = (w->types_set && p < w->channel_types.size()) ? w->channel_types[p] : KX_DATA_TYPE_FLOAT32;
            FillChannel(buffers[p], code, static_cast<int>(p), m->sample_index, spp);
            const bool null_channel =
                std::find(w->null_channels.begin(), w->null_channels.end(), static_cast<int>(p)) != w->null_channels.end();
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
            lk.unlock();
            cb(pointers.data(), static_cast<size_t>(spp), user);
            lk.lock();
            tl_chunk_callback_of = nullptr;
            m->delivering = false;
            m->delivered_cv.notify_all();
            ++w->chunks_produced;
        }
        if (manual_chunk) ++w->manual_emitted;
        if (untimed) m->next_due = Clock::now() + Period(*m);
        w->changed.notify_all();
    }
}

Manager* Find(World& w, const void* p) {
    auto it = w.by_pointer.find(p);
    return it == w.by_pointer.end() ? nullptr : it->second;
}

// The live manager p names, or null after recording why it is not one.
Manager* Live(World& w, const void* p, const char* op) {
    if (!p) {
        AddViolation(w, std::string(op) + " on a null manager");
        return nullptr;
    }
    Manager* m = Find(w, p);
    if (!m) {
        std::ostringstream s;
        s << op << " on an unknown manager pointer " << p;
        AddViolation(w, s.str());
        return nullptr;
    }
    if (m->freed) {
        AddViolation(w, std::string(op) + " on freed manager m" + std::to_string(m->id));
        return nullptr;
    }
    return m;
}

std::string Quote(const char* s) { return s ? "\"" + std::string(s) + "\"" : std::string("null"); }
std::string Ptr(const void* p) { return p ? "ptr" : "null"; }
std::string Fn(bool set) { return set ? "cb" : "null"; }

Features FeaturesOf(const Headset& h) { return Features{h.electrodes, h.accel, h.gyro, h.bipolar}; }

const uint8_t kEmptyTypes[1] = {0};

const Features* FeatureHandle(World& w, kx_device_features f, const char* op) {
    if (!f || !w.feature_handles.count(f)) {
        AddViolation(w, std::string(op) + (f ? " with an unknown features handle" : " with a null features handle"));
        return nullptr;
    }
    return static_cast<const Features*>(f);
}


// Whether channel names one of m's electrodes; records the out-of-range use if not.
bool ChannelInRange(World& w, const Manager& m, size_t electrodes, uint16_t channel, const char* op) {
    if (channel < electrodes) return true;
    AddViolation(w, std::string(op) + " channel " + std::to_string(channel) + " out of range (" +
                        std::to_string(electrodes) + " electrodes) on m" + std::to_string(m.id));
    return false;
}

// The entry every kx_* operation shares: the world locked, the call recorded
// with its arguments, and (for a manager operation) the live manager looked up.
struct Call {
    // args renders the whole argument list.
    Call(const char* name, std::string args) : w(TheWorld()), lk(w.mu), op(name), s(Enter(w, op, std::move(args))) {}
    // rest renders the arguments after the manager, each led by ", ".
    Call(const char* name, kx_eeg_manager* manager, const std::string& rest = "")
        : w(TheWorld()), lk(w.mu), op(name), s(Enter(w, op, RenderManager(w, manager) + rest)), m(Live(w, manager, op)) {}

    // True when the call was scripted (after throwing, if that is the script):
    // the caller then returns what the script says instead of simulating.
    bool Scripted() const {
        if (!s) return false;
        ThrowIfScripted(*s);
        return true;
    }

    World& w;
    Lock lk;
    const char* const op;
    const std::optional<Outcome> s;
    Manager* const m = nullptr;
};

// A feature query: the scripted value, else the field of a known handle, else zero.
template <typename T>
T FeatureQuery(kx_device_features features, const char* op, T Features::*field) {
    Call c(op, Ptr(features));
    if (c.Scripted()) return static_cast<T>(c.s->status);
    const Features* f = FeatureHandle(c.w, features, op);
    return f ? f->*field : T{};
}

// Stores one per-channel setting (gain or bias) of a manager.
void SetChannelSetting(const char* op, kx_eeg_manager* manager, uint16_t channel, uint8_t value,
                       std::vector<int> Manager::*slots) {
    Call c(op, manager, ", " + std::to_string(channel) + ", " + std::to_string(value));
    if (c.Scripted() || !c.m) return;
    std::vector<int>& v = c.m->*slots;
    if (ChannelInRange(c.w, *c.m, v.size(), channel, op)) v[channel] = value;
}

}  // namespace

size_t EnabledCount(const Manager& m) {
    return static_cast<size_t>(std::count(m.enabled.begin(), m.enabled.end(), true));
}

std::string RenderManager(World& w, const void* p) {
    if (!p) return "null";
    Manager* m = Find(w, p);
    if (!m) return "unknown";
    return "m" + std::to_string(m->id);
}

void StartManagerThreads(Manager& m) {
    World* w = &TheWorld();
    m.link_thread = std::thread(LinkThread, w, &m);
    m.stream_thread = std::thread(StreamThread, w, &m);
}

void StopAllManagers(World& w, std::vector<std::thread>& out) {
    for (auto& up : w.managers) {
        Manager& m = *up;
        if (m.freed || m.freeing) continue;
        m.freeing = true;
        m.stop = true;
        m.linked = false;
        m.events.clear();
        EndStreamState(m);
        m.link_cv.notify_all();
        out.push_back(std::move(m.link_thread));
        out.push_back(std::move(m.stream_thread));
    }
}

Manager* NewestLiveManager(World& w) {
    for (auto it = w.managers.rbegin(); it != w.managers.rend(); ++it)
        if (!(*it)->freed && !(*it)->freeing) return it->get();
    return nullptr;
}

void DropLinkNow(World& w, Manager& m) {
    (void)w;
    m.linked = false;
    ++m.link_gen;
    EndStreamState(m);
    PushEvent(m, {Clock::now(), Manager::EventKind::kNotifyDisconnect, m.link_gen});
}

void NotifyStreams(World& w) {
    for (auto& m : w.managers) m->stream_cv.notify_all();
}

}  // namespace detail
}  // namespace kxsim

using kxsim::detail::Call;
using kxsim::detail::ChannelInRange;
using kxsim::detail::FeatureQuery;
using kxsim::detail::Features;
using kxsim::detail::Find;
using kxsim::detail::Live;
using kxsim::detail::Ptr;
using kxsim::detail::Quote;
using kxsim::detail::RenderManager;

extern "C" {

kx_init_status kx_core_init(void) {
    Call c("kx_core_init", "");
    if (c.Scripted()) return static_cast<kx_init_status>(c.s->status);
    if (c.w.initialised) return KX_INIT_WARNING_ALREADY_INITIALIZED;
    c.w.initialised = true;
    return KX_INIT_SUCCESS;
}

void kx_core_close(void) {
    Call c("kx_core_close", "");
    if (c.Scripted()) return;
    c.w.initialised = false;
    std::vector<std::string>().swap(c.w.scan_strings);
    std::vector<kx_device_list_entry>().swap(c.w.scan_list);
}

const kx_version* kx_core_get_version(void) {
    Call c("kx_core_get_version", "");
    if (c.Scripted()) return nullptr;
    return &c.w.version;
}

kx_status kx_core_get_config(sKXCORE_Config_t* config) {
    Call c("kx_core_get_config", Ptr(config));
    if (c.Scripted()) return static_cast<kx_status>(c.s->status);
    if (!config) {
        AddViolation(c.w, "kx_core_get_config with a null record");
        return KX_ERROR_WRONG_VALUE;
    }
    *config = c.w.config;
    return KX_ERROR_OK;
}

kx_status kx_core_scan(const kx_device_list_entry** list, size_t* count) {
    Call c("kx_core_scan", Ptr(list) + ", " + Ptr(count));
    World& w = c.w;
    if (!list || !count) {
        AddViolation(w, "kx_core_scan with a null out-argument");
        if (c.s) ThrowIfScripted(*c.s);
        return KX_ERROR_WRONG_VALUE;
    }
    if (c.Scripted()) {
        *list = nullptr;
        // A null list carries the count it was scripted with (ScriptNullList).
        *count = c.s->kind == OutcomeKind::kNull ? static_cast<size_t>(c.s->status) : 0;
        return c.s->kind == OutcomeKind::kNull ? static_cast<kx_status>(KX_ERROR_OK)
                                               : static_cast<kx_status>(c.s->status);
    }
    std::vector<std::string> strings;
    std::vector<kx_device_list_entry> rows;
    strings.reserve(w.headsets.size() * 2);
    for (const auto& h : w.headsets) {
        strings.push_back(h.name);
        strings.push_back(h.mac);
    }
    for (size_t i = 0; i < w.headsets.size(); ++i) {
        const auto& h = w.headsets[i];
        rows.push_back({h.null_name ? nullptr : strings[2 * i].c_str(), h.null_mac ? nullptr : strings[2 * i + 1].c_str()});
    }
    // The previous list is released here, as the SDK does on the next scan.
    w.scan_strings.swap(strings);
    w.scan_list.swap(rows);
    if (w.scan_list.empty()) {
        *list = nullptr;
        *count = 0;
        return KX_ERROR_NO_DEVICES_FOUND;
    }
    *list = w.scan_list.data();
    *count = w.scan_list.size();
    return KX_ERROR_OK;
}

kx_device_features kx_core_device_features_get(const kx_device_info* info) {
    Call c("kx_core_device_features_get", Ptr(info));
    World& w = c.w;
    if (c.Scripted()) return nullptr;
    if (!info) {
        AddViolation(w, "kx_core_device_features_get with a null device info");
        return nullptr;
    }
    for (auto& m : w.managers)
        if (&m->info == info && m->has_headset) return &m->features;
    for (const auto& h : w.headsets) {
        if (h.model == info->device_model) {
            w.looked_up_features.push_back(kxsim::detail::FeaturesOf(h));
            const void* handle = &w.looked_up_features.back();
            w.feature_handles.insert(handle);
            return handle;
        }
    }
    return nullptr;
}

uint8_t kx_core_device_features_electrode_count(kx_device_features features) {
    return FeatureQuery(features, "kx_core_device_features_electrode_count", &Features::electrodes);
}

bool kx_core_device_features_has_accel(kx_device_features features) {
    return FeatureQuery(features, "kx_core_device_features_has_accel", &Features::accel);
}

bool kx_core_device_features_has_gyro(kx_device_features features) {
    return FeatureQuery(features, "kx_core_device_features_has_gyro", &Features::gyro);
}

bool kx_core_device_features_is_bipolar(kx_device_features features) {
    return FeatureQuery(features, "kx_core_device_features_is_bipolar", &Features::bipolar);
}

kx_eeg_manager* kx_eeg_manager_new(void) {
    Call c("kx_eeg_manager_new", "");
    World& w = c.w;
    if (c.Scripted()) return nullptr;
    auto m = std::make_unique<Manager>();
    m->id = w.next_manager_id++;
    m->rate_code = w.initial_rate_code;
    Manager* raw = m.get();
    w.managers.push_back(std::move(m));
    w.by_pointer[raw] = raw;
    kxsim::detail::StartManagerThreads(*raw);
    return reinterpret_cast<kx_eeg_manager*>(raw);
}

void kx_eeg_manager_free(kx_eeg_manager* manager) {
    World& w = TheWorld();
    std::thread link, stream;
    Manager* m = nullptr;
    {
        Lock lk(w.mu);
        const char* op = "kx_eeg_manager_free";
        auto s = Enter(w, op, RenderManager(w, manager));
        m = manager ? Find(w, manager) : nullptr;
        if (m && (m->freed || m->freeing)) {
            AddViolation(w, "second kx_eeg_manager_free of m" + std::to_string(m->id));
            return;
        }
        if (!Live(w, manager, op)) return;
        if (s) {
            ThrowIfScripted(*s);
            return;
        }
        if (kxsim::detail::tl_chunk_callback_of == m || kxsim::detail::tl_link_callback_of == m) {
            AddViolation(w, "kx_eeg_manager_free of m" + std::to_string(m->id) + " from inside its own callback");
            return;
        }
        m->freeing = true;
        m->stop = true;
        m->linked = false;
        m->events.clear();
        kxsim::detail::EndStreamState(*m);
        m->link_cv.notify_all();
        link = std::move(m->link_thread);
        stream = std::move(m->stream_thread);
    }
    // Joined without the lock: a callback in flight may still call back in.
    if (link.joinable()) link.join();
    if (stream.joinable()) stream.join();
    Lock lk(w.mu);
    m->freed = true;
}

kx_status kx_eeg_manager_connect(kx_eeg_manager* manager, const char* device_name, kx_connect_callback callback,
                                 void* user) {
    Call c("kx_eeg_manager_connect", manager,
           ", " + Quote(device_name) + ", " + kxsim::detail::Fn(callback) + ", " + Ptr(user));
    World& w = c.w;
    Manager* const m = c.m;
    if (c.Scripted()) return static_cast<kx_status>(c.s->status);
    if (!m || !device_name) return KX_ERROR_CONNECTION;
    const kxsim::Headset* found = nullptr;
    for (const auto& h : w.headsets)
        if (!h.null_name && h.name == device_name) found = &h;
    if (!found) return KX_ERROR_CONNECTION;
    const kxsim::ConnectPlan plan = w.plan;
    if (plan.status != KX_ERROR_OK && plan.status != KX_ERROR_UNSUPPORTED_DEVICE)
        return static_cast<kx_status>(plan.status);

    m->linked = false;
    ++m->link_gen;
    kxsim::detail::EndStreamState(*m);
    m->has_headset = true;
    m->headset = *found;
    m->info = kx_device_info{found->model, found->hardware, found->firmware, found->serial, found->sample_per_packet};
    m->features = kxsim::detail::FeaturesOf(*found);
    w.feature_handles.insert(&m->features);
    m->enabled.assign(found->electrodes, true);
    m->gain.assign(found->electrodes, KX_GAIN_X1);
    m->bias.assign(found->electrodes, KX_POLARITY_NONE);
    m->rate_code = w.initial_rate_code;
    m->drop_after_ms = plan.drop_link_after_ms;
    if (plan.link_up_after_ms >= 0)
        kxsim::detail::PushEvent(
            *m, {kxsim::detail::After(plan.link_up_after_ms), Manager::EventKind::kLinkUp, m->link_gen});
    if (plan.callback_after_ms >= 0)
        kxsim::detail::PushEvent(*m, {kxsim::detail::After(plan.callback_after_ms), Manager::EventKind::kConnectCallback,
                                      m->link_gen, plan.callback_success, callback, user});
    return static_cast<kx_status>(plan.status);
}

void kx_eeg_manager_disconnect(kx_eeg_manager* manager) {
    Call c("kx_eeg_manager_disconnect", manager);
    if (c.Scripted() || !c.m) return;
    c.m->linked = false;
    ++c.m->link_gen;
    kxsim::detail::EndStreamState(*c.m);
}

bool kx_eeg_manager_is_connected(kx_eeg_manager* manager) {
    Call c("kx_eeg_manager_is_connected", manager);
    if (c.Scripted()) return c.s->status != 0;
    return c.m && c.m->linked;
}

bool kx_eeg_manager_is_streaming(kx_eeg_manager* manager) {
    Call c("kx_eeg_manager_is_streaming", manager);
    if (c.Scripted()) return c.s->status != 0;
    return c.m && c.m->streaming;
}

void kx_eeg_manager_set_callback_chunk(kx_eeg_manager* manager, kx_chunk_callback callback, void* user) {
    Call c("kx_eeg_manager_set_callback_chunk", manager, ", " + kxsim::detail::Fn(callback) + ", " + Ptr(user));
    Manager* const m = c.m;
    if (c.Scripted() || !m) return;
    const bool inside = kxsim::detail::tl_chunk_callback_of == m;
    if (inside)
        AddViolation(c.w, std::string(c.op) + " from inside the chunk callback of m" + std::to_string(m->id));
    m->chunk_cb = callback;
    m->chunk_user = callback ? user : nullptr;
    if (inside || !m->delivering) return;
    const uint64_t seq = m->delivery_seq;
    if (!m->delivered_cv.wait_for(c.lk, kxsim::detail::kDetachWaitLimit,
                                  [&] { return !m->delivering || m->delivery_seq != seq; }))
        AddViolation(c.w, std::string(c.op) + " waited over 10 s for a chunk callback of m" + std::to_string(m->id));
}

void kx_eeg_manager_set_callback_disconnect(kx_eeg_manager* manager, kx_disconnect_callback callback, void* user) {
    Call c("kx_eeg_manager_set_callback_disconnect", manager, ", " + kxsim::detail::Fn(callback) + ", " + Ptr(user));
    if (c.Scripted() || !c.m) return;
    c.m->disconnect_cb = callback;
    c.m->disconnect_user = user;
}

kx_status kx_eeg_manager_start_stream(kx_eeg_manager* manager, void* reserved1, void* reserved2) {
    Call c("kx_eeg_manager_start_stream", manager, ", " + Ptr(reserved1) + ", " + Ptr(reserved2));
    World& w = c.w;
    Manager* const m = c.m;
    if (c.Scripted()) return static_cast<kx_status>(c.s->status);
    if (!m || !m->linked) return KX_ERROR_CONNECTION;
    if (m->stream_requested) return KX_ERROR_OK;
    m->stream_requested = true;
    ++m->stream_gen;
    m->sample_index = 0;
    m->chunks_in_stream = 0;
    if (w.start_delay_ms == 0)
        kxsim::detail::StreamUp(w, *m);
    else if (w.start_delay_ms > 0)
        kxsim::detail::PushEvent(*m, {kxsim::detail::After(w.start_delay_ms), Manager::EventKind::kStreamUp, m->stream_gen});
    return KX_ERROR_OK;
}

kx_status kx_eeg_manager_stop_stream(kx_eeg_manager* manager, void* reserved1, void* reserved2) {
    Call c("kx_eeg_manager_stop_stream", manager, ", " + Ptr(reserved1) + ", " + Ptr(reserved2));
    World& w = c.w;
    Manager* const m = c.m;
    if (c.Scripted()) return static_cast<kx_status>(c.s->status);
    if (!m) return KX_ERROR_CONNECTION;
    if (kxsim::detail::tl_chunk_callback_of == m)
        AddViolation(w, std::string(c.op) + " from inside the chunk callback of m" + std::to_string(m->id));
    if (!m->stream_requested) return KX_ERROR_OK;
    m->stream_requested = false;
    m->emitting = false;
    m->burst_pending = 0;
    ++m->stream_gen;
    m->stream_cv.notify_all();
    if (w.stop_delay_ms == 0)
        m->streaming = false;
    else if (w.stop_delay_ms > 0)
        kxsim::detail::PushEvent(*m, {kxsim::detail::After(w.stop_delay_ms), Manager::EventKind::kStreamDown, m->stream_gen});
    return KX_ERROR_OK;
}

kx_status kx_eeg_manager_load_config(kx_eeg_manager* manager, void* reserved1, void* reserved2) {
    Call c("kx_eeg_manager_load_config", manager, ", " + Ptr(reserved1) + ", " + Ptr(reserved2));
    if (c.Scripted()) return static_cast<kx_status>(c.s->status);
    return (c.m && c.m->linked) ? KX_ERROR_OK : KX_ERROR_CONNECTION;
}

uint8_t kx_eeg_manager_get_sample_frequency(kx_eeg_manager* manager) {
    Call c("kx_eeg_manager_get_sample_frequency", manager);
    if (c.Scripted()) return static_cast<uint8_t>(c.s->status);
    return c.m ? static_cast<uint8_t>(c.m->rate_code) : static_cast<uint8_t>(KX_RATE_250);
}

void kx_eeg_manager_get_stream_channel_data_types(kx_eeg_manager* manager, const uint8_t** types, size_t* count) {
    Call c("kx_eeg_manager_get_stream_channel_data_types", manager, ", " + Ptr(types) + ", " + Ptr(count));
    World& w = c.w;
    Manager* const m = c.m;
    if (!types || !count) {
        AddViolation(w, std::string(c.op) + " with a null out-argument");
        if (c.s) ThrowIfScripted(*c.s);
        return;
    }
    *types = nullptr;
    *count = 0;
    if (c.Scripted() || !m) return;
    std::vector<uint8_t> now;
    if (w.types_set) {
        for (int code : w.channel_types) now.push_back(static_cast<uint8_t>(code));
    } else {
        now.assign((m->emitting || m->chunks_in_stream > 0) ? m->last_channel_count : EnabledCount(*m), KX_DATA_TYPE_FLOAT32);
    }
    if (m->type_arrays.empty() || m->type_arrays.back() != now) m->type_arrays.push_back(std::move(now));
    const std::vector<uint8_t>& out = m->type_arrays.back();
    *types = out.empty() ? kxsim::detail::kEmptyTypes : out.data();
    *count = out.size();
}

const kx_device_info* kx_eeg_manager_get_device_info(kx_eeg_manager* manager) {
    Call c("kx_eeg_manager_get_device_info", manager);
    if (c.Scripted()) return nullptr;
    return (c.m && c.m->linked) ? &c.m->info : nullptr;
}

kx_battery_info kx_eeg_manager_get_battery_info(kx_eeg_manager* manager) {
    Call c("kx_eeg_manager_get_battery_info", manager);
    if (c.Scripted()) return kx_battery_info{static_cast<uint8_t>(c.s->status), false, false};
    return (c.m && c.m->linked) ? c.m->headset.battery : kx_battery_info{0, false, false};
}

void kx_eeg_manager_set_channel_enabled(kx_eeg_manager* manager, uint16_t channel, bool enabled) {
    Call c("kx_eeg_manager_set_channel_enabled", manager,
           ", " + std::to_string(channel) + ", " + (enabled ? "1" : "0"));
    if (c.Scripted() || !c.m) return;
    if (ChannelInRange(c.w, *c.m, c.m->enabled.size(), channel, c.op)) c.m->enabled[channel] = enabled;
}

void kx_eeg_manager_set_channel_gain(kx_eeg_manager* manager, uint16_t channel, uint8_t gain_mode) {
    kxsim::detail::SetChannelSetting("kx_eeg_manager_set_channel_gain", manager, channel, gain_mode, &Manager::gain);
}

void kx_eeg_manager_set_channel_bias(kx_eeg_manager* manager, uint16_t channel, uint8_t polarity) {
    kxsim::detail::SetChannelSetting("kx_eeg_manager_set_channel_bias", manager, channel, polarity, &Manager::bias);
}

uint8_t kx_multiplier_to_gain_mode(int32_t multiplier) {
    Call c("kx_multiplier_to_gain_mode", std::to_string(multiplier));
    if (c.Scripted()) return static_cast<uint8_t>(c.s->status);
    switch (multiplier) {
        case 1: return KX_GAIN_X1;
        case 2: return KX_GAIN_X2;
        case 4: return KX_GAIN_X4;
        case 6: return KX_GAIN_X6;
        case 8: return KX_GAIN_X8;
        case 12: return KX_GAIN_X12;
        default: return 255;
    }
}

kx_status kx_eeg_manager_set_data_stream_rate(kx_eeg_manager* manager, uint8_t rate_code) {
    Call c("kx_eeg_manager_set_data_stream_rate", manager, ", " + std::to_string(rate_code));
    if (c.Scripted()) return static_cast<kx_status>(c.s->status);
    if (!c.m || !c.m->linked) return KX_ERROR_CONNECTION;
    if (rate_code > KX_RATE_250) return KX_ERROR_WRONG_VALUE;
    c.m->rate_code = rate_code;
    return KX_ERROR_OK;
}

kx_status kx_eeg_manager_annotate(kx_eeg_manager* manager, const char* text) {
    Call c("kx_eeg_manager_annotate", manager, ", " + Quote(text));
    if (c.Scripted()) return static_cast<kx_status>(c.s->status);
    if (!c.m) return KX_ERROR_CONNECTION;
    if (!text) {
        AddViolation(c.w, std::string(c.op) + " with a null text");
        return KX_ERROR_WRONG_VALUE;
    }
    c.m->annotations.push_back({c.m->sample_index, false, text});
    return KX_ERROR_OK;
}

void kx_eeg_manager_get_annotations(kx_eeg_manager* manager, const kx_annotation** list, uint64_t* count) {
    Call c("kx_eeg_manager_get_annotations", manager, ", " + Ptr(list) + ", " + Ptr(count));
    Manager* const m = c.m;
    if (!list || !count) {
        AddViolation(c.w, std::string(c.op) + " with a null out-argument");
        if (c.s) ThrowIfScripted(*c.s);
        return;
    }
    *list = nullptr;
    *count = 0;
    if (c.Scripted()) {
        if (c.s->kind == OutcomeKind::kNull) *count = static_cast<uint64_t>(c.s->status);
        return;
    }
    if (!m) return;
    std::vector<kx_annotation> fresh;
    fresh.reserve(m->annotations.size());
    for (const auto& a : m->annotations) fresh.push_back({a.timestamp, a.null_text ? nullptr : a.text.c_str()});
    // The array handed out last time is released here.
    m->ann_out.swap(fresh);
    *list = m->ann_out.empty() ? nullptr : m->ann_out.data();
    *count = m->ann_out.size();
}

void kx_eeg_manager_clear_annotations(kx_eeg_manager* manager) {
    Call c("kx_eeg_manager_clear_annotations", manager);
    if (c.Scripted() || !c.m) return;
    c.m->annotations.clear();
    std::vector<kx_annotation>().swap(c.m->ann_out);
}

}  // extern "C"
