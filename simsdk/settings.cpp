// Settings of the connected headset in the simulated SDK: channels on or off,
// channel gain and bias, the stream rate, and loading the device configuration.
#include "operation.h"

using kxsim::detail::Manager;
using kxsim::detail::OperationScope;
using kxsim::detail::World;

namespace kxsim {
namespace detail {
namespace {

// Whether channel names one of m's electrodes; records the out-of-range use if not.
bool ChannelInRange(World& world, const Manager& m, size_t electrodes, uint16_t channel, const char* op) {
    if (channel < electrodes) return true;
    AddViolation(world, std::string(op) + " channel " + std::to_string(channel) + " out of range (" +
                            std::to_string(electrodes) + " electrodes) on m" + std::to_string(m.id));
    return false;
}

// Stores one per-channel setting (gain or bias) of a manager.
void SetChannelSetting(const char* op, kx_eeg_manager* manager, uint16_t channel, uint8_t value,
                       std::vector<int> Manager::*slots) {
    OperationScope call(op, manager, ", " + std::to_string(channel) + ", " + std::to_string(value));
    if (call.Scripted() || !call.manager) return;
    std::vector<int>& settings = call.manager->*slots;
    if (ChannelInRange(call.world, *call.manager, settings.size(), channel, op)) settings[channel] = value;
}

}  // namespace
}  // namespace detail
}  // namespace kxsim

extern "C" {

void kx_eeg_manager_set_channel_enabled(kx_eeg_manager* manager, uint16_t channel, bool enabled) {
    OperationScope call("kx_eeg_manager_set_channel_enabled", manager,
                        ", " + std::to_string(channel) + ", " + (enabled ? "1" : "0"));
    Manager* const m = call.manager;
    if (call.Scripted() || !m) return;
    if (kxsim::detail::ChannelInRange(call.world, *m, m->enabled.size(), channel, call.name))
        m->enabled[channel] = enabled;
}

void kx_eeg_manager_set_channel_gain(kx_eeg_manager* manager, uint16_t channel, uint8_t gain_mode) {
    kxsim::detail::SetChannelSetting("kx_eeg_manager_set_channel_gain", manager, channel, gain_mode, &Manager::gain);
}

void kx_eeg_manager_set_channel_bias(kx_eeg_manager* manager, uint16_t channel, uint8_t polarity) {
    kxsim::detail::SetChannelSetting("kx_eeg_manager_set_channel_bias", manager, channel, polarity, &Manager::bias);
}

kx_status kx_eeg_manager_set_data_stream_rate(kx_eeg_manager* manager, uint8_t rate_code) {
    OperationScope call("kx_eeg_manager_set_data_stream_rate", manager, ", " + std::to_string(rate_code));
    if (call.Scripted()) return static_cast<kx_status>(call.script->status);
    if (!call.manager || !call.manager->linked) return KX_ERROR_CONNECTION;
    if (rate_code > KX_RATE_250) return KX_ERROR_WRONG_VALUE;
    // A replayed file streams at its own rate only.
    if (call.manager->fixed_rate_code >= 0 && rate_code != call.manager->fixed_rate_code) return KX_ERROR_WRONG_VALUE;
    call.manager->rate_code = rate_code;
    return KX_ERROR_OK;
}

kx_status kx_eeg_manager_load_config(kx_eeg_manager* manager, void* reserved1, void* reserved2) {
    OperationScope call("kx_eeg_manager_load_config", manager,
                        ", " + kxsim::detail::Ptr(reserved1) + ", " + kxsim::detail::Ptr(reserved2));
    if (call.Scripted()) return static_cast<kx_status>(call.script->status);
    return (call.manager && call.manager->linked) ? KX_ERROR_OK : KX_ERROR_CONNECTION;
}

}  // extern "C"
