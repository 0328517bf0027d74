#include "gateway/commands.h"
#include "gateway/failure.h"

namespace kx {
MxPtr HandleReadChunk(const mxArray*) {
    ThrowMex(id::kRuntimeError, "The command \"read_chunk\" is not available in this build.");
}
}  // namespace kx
