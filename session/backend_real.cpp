#include "session/session_state.h"

namespace kx {
bool DefaultMockMode() {
    return false;
}
}  // namespace kx
