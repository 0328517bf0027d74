// What every kx_* operation of the simulated SDK does first: lock the world,
// record the call with its arguments, take its scripted outcome, and (for a
// manager operation) look up the live manager the handle names.
#ifndef KX_SIMSDK_OPERATION_H
#define KX_SIMSDK_OPERATION_H

#include <optional>
#include <string>

#include "world.h"

namespace kxsim {
namespace detail {

// The manager whose callback this thread is running, if any: calls that would
// wait for that very callback are contract violations.
extern thread_local Manager* tl_chunk_callback_of;
extern thread_local Manager* tl_link_callback_of;

// The live manager handle names, or null after recording why it is not one.
Manager* LiveManager(World& world, const void* handle, const char* op);

// Argument renderings of the call log.
inline std::string Quote(const char* s) {
    return s ? "\"" + std::string(s) + "\"" : std::string("null");
}
inline std::string Ptr(const void* p) {
    return p ? "ptr" : "null";
}
inline std::string Fn(bool set) {
    return set ? "cb" : "null";
}

class OperationScope {
public:
    // args renders the whole argument list.
    OperationScope(const char* op, std::string args)
        : world(TheWorld()), lock(world.mu), name(op), script(Enter(world, op, std::move(args))) {}
    // rest renders the arguments after the manager, each led by ", ".
    OperationScope(const char* op, kx_eeg_manager* handle, const std::string& rest = "")
        : world(TheWorld()),
          lock(world.mu),
          name(op),
          script(Enter(world, op, RenderManager(world, handle) + rest)),
          manager(LiveManager(world, handle, op)) {}

    // True when the call was scripted (after throwing, if that is the script):
    // the caller then returns what the script says instead of simulating.
    bool Scripted() const {
        if (!script) return false;
        ThrowIfScripted(*script);
        return true;
    }

    World& world;
    std::unique_lock<std::mutex> lock;
    const char* const name;
    const std::optional<Outcome> script;
    Manager* const manager = nullptr;  // null for a core operation or a handle that is not live
};

}  // namespace detail
}  // namespace kxsim

#endif  // KX_SIMSDK_OPERATION_H
