#include "gateway/commands.h"
#include "gateway/failure.h"

namespace kx {
MxPtr HandleSetChannelEnabled(const mxArray*) {
    ThrowMex(id::kRuntimeError, "The command \"set_channel_enabled\" is not available in this build.");
}
MxPtr HandleSetChannelGain(const mxArray*) {
    ThrowMex(id::kRuntimeError, "The command \"set_channel_gain\" is not available in this build.");
}
MxPtr HandleSetChannelBias(const mxArray*) {
    ThrowMex(id::kRuntimeError, "The command \"set_channel_bias\" is not available in this build.");
}
MxPtr HandleSetSampleRate(const mxArray*) {
    ThrowMex(id::kRuntimeError, "The command \"set_sample_rate\" is not available in this build.");
}
MxPtr HandleLoadConfig() {
    ThrowMex(id::kRuntimeError, "The command \"load_config\" is not available in this build.");
}
}  // namespace kx
