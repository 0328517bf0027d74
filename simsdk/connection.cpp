// Managers and links of the simulated SDK: creating and freeing managers,
// connecting and disconnecting, the device records of the connected headset,
// and the per-manager link thread that runs timed link events and callbacks.
#include <algorithm>
#include <sstream>

#include "operation.h"
#include "replay.h"

using kxsim::detail::Manager;
using kxsim::detail::OperationScope;
using kxsim::detail::Ptr;
using kxsim::detail::TheWorld;
using kxsim::detail::World;
using Lock = std::unique_lock<std::mutex>;

namespace kxsim {
namespace detail {

thread_local Manager* tl_chunk_callback_of = nullptr;
thread_local Manager* tl_link_callback_of = nullptr;

namespace {

constexpr auto kIdleWait = std::chrono::seconds(1);

// Runs a callback of m with the world unlocked, marking this thread as inside it.
template <typename F>
void RunLinkCallback(Lock& lock, Manager* m, F callback) {
    tl_link_callback_of = m;
    lock.unlock();
    callback();
    lock.lock();
    tl_link_callback_of = nullptr;
}

void LinkThread(World* world, Manager* m) {
    Lock lock(world->mu);
    while (!m->stop) {
        if (m->events.empty()) {
            m->link_cv.wait_for(lock, kIdleWait, [&] { return m->stop.load() || !m->events.empty(); });
            continue;
        }
        auto next = std::min_element(m->events.begin(), m->events.end(),
                                     [](const Manager::Event& a, const Manager::Event& b) { return a.at < b.at; });
        const Clock::time_point at = next->at;
        if (Clock::now() < at) {
            m->link_cv.wait_until(lock, at, [&] {
                if (m->stop) return true;
                for (const auto& e : m->events)
                    if (e.at < at) return true;
                return false;
            });
            continue;
        }
        Manager::Event event = *next;
        m->events.erase(next);
        switch (event.kind) {
            case Manager::EventKind::kLinkUp:
                if (event.gen == m->link_gen && !m->linked) LinkUp(*m);
                break;
            case Manager::EventKind::kDrop:
                if (event.gen == m->link_gen && m->linked) DropLinkNow(*m);
                break;
            case Manager::EventKind::kConnectCallback:
                if (event.cb) {
                    RunLinkCallback(lock, m, [&] { event.cb(event.success, event.user); });
                    ++world->link_callbacks_run;
                    world->changed.notify_all();
                }
                break;
            case Manager::EventKind::kNotifyDisconnect: {
                const kx_disconnect_callback cb = m->disconnect_cb;
                void* const user = m->disconnect_user;
                if (cb) {
                    RunLinkCallback(lock, m, [&] { cb(user); });
                    ++world->link_callbacks_run;
                    world->changed.notify_all();
                }
                break;
            }
            case Manager::EventKind::kStreamUp:
                if (event.gen == m->stream_gen && m->stream_requested) StreamUp(*world, *m);
                break;
            case Manager::EventKind::kStreamDown:
                if (event.gen == m->stream_gen && !m->stream_requested) m->streaming = false;
                break;
        }
    }
}

void StartManagerThreads(Manager& m) {
    World* world = &TheWorld();
    m.link_thread = std::thread(LinkThread, world, &m);
    m.stream_thread = std::thread(StreamThread, world, &m);
}

// Stops m's threads (joined by the caller) and everything it had going.
void BeginFree(Manager& m) {
    m.freeing = true;
    m.stop = true;
    m.linked = false;
    m.events.clear();
    EndStreamState(m);
    m.link_cv.notify_all();
}

}  // namespace

Clock::time_point After(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

void LinkUp(Manager& m) {
    m.linked = true;
    if (m.drop_after_ms >= 0) PushEvent(m, {After(m.drop_after_ms), Manager::EventKind::kDrop, m.link_gen});
}

void PushEvent(Manager& m, Manager::Event event) {
    m.events.push_back(event);
    m.link_cv.notify_all();
}

Manager* FindManager(World& world, const void* handle) {
    auto it = world.by_pointer.find(handle);
    return it == world.by_pointer.end() ? nullptr : it->second;
}

Manager* LiveManager(World& world, const void* handle, const char* op) {
    if (!handle) {
        AddViolation(world, std::string(op) + " on a null manager");
        return nullptr;
    }
    Manager* m = FindManager(world, handle);
    if (!m) {
        std::ostringstream s;
        s << op << " on an unknown manager pointer " << handle;
        AddViolation(world, s.str());
        return nullptr;
    }
    if (m->freed) {
        AddViolation(world, std::string(op) + " on freed manager m" + std::to_string(m->id));
        return nullptr;
    }
    return m;
}

std::string RenderManager(World& world, const void* handle) {
    if (!handle) return "null";
    Manager* m = FindManager(world, handle);
    if (!m) return "unknown";
    return "m" + std::to_string(m->id);
}

void StopAllManagers(World& world, std::vector<std::thread>& out) {
    for (auto& owned : world.managers) {
        Manager& m = *owned;
        if (m.freed || m.freeing) continue;
        BeginFree(m);
        out.push_back(std::move(m.link_thread));
        out.push_back(std::move(m.stream_thread));
    }
}

Manager* NewestLiveManager(World& world) {
    for (auto it = world.managers.rbegin(); it != world.managers.rend(); ++it)
        if (!(*it)->freed && !(*it)->freeing) return it->get();
    return nullptr;
}

void DropLinkNow(Manager& m) {
    m.linked = false;
    ++m.link_gen;
    EndStreamState(m);
    PushEvent(m, {Clock::now(), Manager::EventKind::kNotifyDisconnect, m.link_gen});
}

}  // namespace detail
}  // namespace kxsim

using kxsim::detail::After;
using kxsim::detail::PushEvent;

extern "C" {

kx_eeg_manager* kx_eeg_manager_new(void) {
    OperationScope call("kx_eeg_manager_new", "");
    World& world = call.world;
    if (call.Scripted()) return nullptr;
    auto owned = std::make_unique<Manager>();
    owned->id = world.next_manager_id++;
    owned->rate_code = world.initial_rate_code;
    Manager* m = owned.get();
    world.managers.push_back(std::move(owned));
    world.by_pointer[m] = m;
    kxsim::detail::StartManagerThreads(*m);
    return reinterpret_cast<kx_eeg_manager*>(m);
}

void kx_eeg_manager_free(kx_eeg_manager* manager) {
    World& world = TheWorld();
    std::thread link, stream;
    Manager* m = nullptr;
    {
        Lock lock(world.mu);
        const char* op = "kx_eeg_manager_free";
        auto script = Enter(world, op, kxsim::detail::RenderManager(world, manager));
        m = manager ? kxsim::detail::FindManager(world, manager) : nullptr;
        if (m && (m->freed || m->freeing)) {
            AddViolation(world, "second kx_eeg_manager_free of m" + std::to_string(m->id));
            return;
        }
        if (!kxsim::detail::LiveManager(world, manager, op)) return;
        if (script) {
            ThrowIfScripted(*script);
            return;
        }
        if (kxsim::detail::tl_chunk_callback_of == m || kxsim::detail::tl_link_callback_of == m) {
            AddViolation(world, "kx_eeg_manager_free of m" + std::to_string(m->id) + " from inside its own callback");
            return;
        }
        kxsim::detail::BeginFree(*m);
        link = std::move(m->link_thread);
        stream = std::move(m->stream_thread);
    }
    // Joined without the lock: a callback in flight may still call back in.
    if (link.joinable()) link.join();
    if (stream.joinable()) stream.join();
    Lock lock(world.mu);
    m->freed = true;
}

kx_status kx_eeg_manager_connect(kx_eeg_manager* manager, const char* device_name, kx_connect_callback callback,
                                 void* user) {
    OperationScope call(
        "kx_eeg_manager_connect", manager,
        ", " + kxsim::detail::Quote(device_name) + ", " + kxsim::detail::Fn(callback) + ", " + Ptr(user));
    World& world = call.world;
    Manager* const m = call.manager;
    if (call.Scripted()) return static_cast<kx_status>(call.script->status);
    if (!m || !device_name) return KX_ERROR_CONNECTION;
    const kxsim::Headset* found = nullptr;
    for (const auto& h : world.headsets)
        if (!h.null_name && h.name == device_name) found = &h;
    if (!found) return KX_ERROR_CONNECTION;
    const kxsim::ConnectPlan plan = world.plan;
    if (plan.status != KX_ERROR_OK && plan.status != KX_ERROR_UNSUPPORTED_DEVICE)
        return static_cast<kx_status>(plan.status);

    m->linked = false;
    ++m->link_gen;
    kxsim::detail::EndStreamState(*m);
    const kxsim::Headset headset = kxsim::detail::EffectiveHeadset(world, *found);
    m->has_headset = true;
    m->headset = headset;
    m->info =
        kx_device_info{headset.model, headset.hardware, headset.firmware, headset.serial, headset.sample_per_packet};
    m->features = kxsim::detail::FeaturesOf(headset);
    world.feature_handles.insert(&m->features);
    m->enabled.assign(headset.electrodes, true);
    m->gain.assign(headset.electrodes, KX_GAIN_X1);
    m->bias.assign(headset.electrodes, KX_POLARITY_NONE);
    const bool replaying = world.signal == kxsim::SignalKind::kReplay && world.replay;
    m->fixed_rate_code = replaying ? world.replay->Info().rate_code : -1;
    m->rate_code = replaying ? m->fixed_rate_code : world.initial_rate_code;
    m->drop_after_ms = plan.drop_link_after_ms;
    // A link planned at 0 ms is up when connect returns, as the stream is
    // with a start delay of 0.
    if (plan.link_up_after_ms == 0)
        kxsim::detail::LinkUp(*m);
    else if (plan.link_up_after_ms > 0)
        PushEvent(*m, {After(plan.link_up_after_ms), Manager::EventKind::kLinkUp, m->link_gen});
    if (plan.callback_after_ms >= 0)
        PushEvent(*m, {After(plan.callback_after_ms), Manager::EventKind::kConnectCallback, m->link_gen,
                       plan.callback_success, callback, user});
    return static_cast<kx_status>(plan.status);
}

void kx_eeg_manager_disconnect(kx_eeg_manager* manager) {
    OperationScope call("kx_eeg_manager_disconnect", manager);
    if (call.Scripted() || !call.manager) return;
    call.manager->linked = false;
    ++call.manager->link_gen;
    kxsim::detail::EndStreamState(*call.manager);
}

bool kx_eeg_manager_is_connected(kx_eeg_manager* manager) {
    OperationScope call("kx_eeg_manager_is_connected", manager);
    if (call.Scripted()) return call.script->status != 0;
    return call.manager && call.manager->linked;
}

void kx_eeg_manager_set_callback_disconnect(kx_eeg_manager* manager, kx_disconnect_callback callback, void* user) {
    OperationScope call("kx_eeg_manager_set_callback_disconnect", manager,
                        ", " + kxsim::detail::Fn(callback) + ", " + Ptr(user));
    if (call.Scripted() || !call.manager) return;
    call.manager->disconnect_cb = callback;
    call.manager->disconnect_user = user;
}

const kx_device_info* kx_eeg_manager_get_device_info(kx_eeg_manager* manager) {
    OperationScope call("kx_eeg_manager_get_device_info", manager);
    if (call.Scripted()) return nullptr;
    return (call.manager && call.manager->linked) ? &call.manager->info : nullptr;
}

kx_battery_info kx_eeg_manager_get_battery_info(kx_eeg_manager* manager) {
    OperationScope call("kx_eeg_manager_get_battery_info", manager);
    if (call.Scripted()) return kx_battery_info{static_cast<uint8_t>(call.script->status), false, false};
    return (call.manager && call.manager->linked) ? call.manager->headset.battery : kx_battery_info{0, false, false};
}

}  // extern "C"
