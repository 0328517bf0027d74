#include "gateway/commands.h"
#include "gateway/failure.h"

namespace kx {
MxPtr HandleScan() {
    ThrowMex(id::kRuntimeError, "The command \"scan\" is not available in this build.");
}
MxPtr HandleConnect(const mxArray*) {
    ThrowMex(id::kRuntimeError, "The command \"connect\" is not available in this build.");
}
MxPtr HandleDisconnect() {
    ThrowMex(id::kRuntimeError, "The command \"disconnect\" is not available in this build.");
}
}  // namespace kx
