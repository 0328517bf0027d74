#include "gateway/commands.h"
#include "gateway/failure.h"

namespace kx {
MxPtr HandleAnnotate(const mxArray*) {
    ThrowMex(id::kRuntimeError, "The command \"annotate\" is not available in this build.");
}
MxPtr HandleGetAnnotations() {
    ThrowMex(id::kRuntimeError, "The command \"get_annotations\" is not available in this build.");
}
MxPtr HandleClearAnnotations() {
    ThrowMex(id::kRuntimeError, "The command \"clear_annotations\" is not available in this build.");
}
}  // namespace kx
