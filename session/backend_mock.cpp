#include "session/session_state.h"

namespace kx {
// The gateway has no configuration of its own, so the mock backend is chosen
// by linking this file instead of backend_real.cpp.
bool DefaultMockMode() {
    return true;
}
}  // namespace kx
