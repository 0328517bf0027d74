#include "gateway/commands.h"
#include "gateway/failure.h"

namespace kx {
MxPtr HandleStartStream(const mxArray*) {
    ThrowMex(id::kRuntimeError, "The command \"start_stream\" is not available in this build.");
}
MxPtr HandleStopStream() {
    ThrowMex(id::kRuntimeError, "The command \"stop_stream\" is not available in this build.");
}
}  // namespace kx
