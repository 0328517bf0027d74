// Channel and sample-rate settings. Every check runs before the call that
// applies a setting and before any mock table write, so a refused command
// changes nothing.
#include "device/device_info.h"
#include "gateway/commands.h"
#include "gateway/failure.h"
#include "gateway/values.h"
#include "session/session_state.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace kx {
namespace {

constexpr std::uint32_t kMaxGainChannel = 33;
constexpr std::uint32_t kMaxGainInput = 12;
constexpr std::uint32_t kMaxGainModeValue = 5;
constexpr std::uint32_t kMaxPolarity = 3;

struct RateCode {
    std::int32_t rate_hz;
    std::uint8_t code;
};

const RateCode kRateCodes[] = {
    {16000, KX_RATE_16000}, {8000, KX_RATE_8000}, {4000, KX_RATE_4000}, {2000, KX_RATE_2000},
    {1000, KX_RATE_1000},   {500, KX_RATE_500},   {250, KX_RATE_250},
};

std::string GainModeName(std::uint8_t mode) {
    static const char* const kNames[] = {"X1", "X2", "X4", "X6", "X8", "X12"};
    return mode <= kMaxGainModeValue ? kNames[mode] : "UNKNOWN";
}

std::string PolarityName(std::uint8_t polarity) {
    static const char* const kNames[] = {"NONE", "BOTH", "POSITIVE", "NEGATIVE"};
    return polarity <= kMaxPolarity ? kNames[polarity] : "UNKNOWN";
}

// The SDK addresses channels with 16 bits; the low 16 bits of the channel
// number are what it receives.
std::uint16_t SdkChannel(std::int32_t channel) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(channel) & 0xFFFFu);
}

// A checked channel setting goes into the mock headset's table, or to the
// headset through `send`, which answers nothing.
template <typename Stored, typename Value>
void ApplyChannelSetting(kx_eeg_manager* manager, std::int32_t channel, Value value,
                         std::map<int, Stored> SessionState::*mock_table,
                         void (*send)(kx_eeg_manager*, std::uint16_t, Value)) {
    SessionState& session = *Session();
    if (session.mock_mode) {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        (session.*mock_table)[channel] = value;
    } else {
        send(manager, SdkChannel(channel), value);
    }
}

// Connection first, then the streaming state; the payload is read after.
// Returns the manager in real mode, null in mock mode.
kx_eeg_manager* RequireIdleConnectedDevice(const char* streaming_message) {
    kx_eeg_manager* manager = RequireConnectedManager();
    if (IsStreaming()) {
        ThrowMex(id::kStreaming, streaming_message);
    }
    return manager;
}

std::int32_t RequireChannel(const mxArray* payload) {
    return TruncateToInt32(RequirePayloadScalar(payload, "channel_id", false));
}

std::uint8_t RequireGainMode(const mxArray* payload) {
    const std::int32_t requested = TruncateToInt32(RequirePayloadScalar(payload, "gain_mode", false));
    const std::uint32_t value = static_cast<std::uint32_t>(requested);
    if (value <= kMaxGainInput) {
        switch (value) {
            // 1, 2 and 4 are always multipliers, never GainMode values.
            case 1:
            case 2:
            case 4:
            case 6:
            case 8:
            case 12: return kx_multiplier_to_gain_mode(requested);
            case 0:
            case 3:
            case 5: return static_cast<std::uint8_t>(value);
            default: break;
        }
    }
    ThrowMex(id::kInvalidArgument,
             "\"gain_mode\" must be a gain multiplier (1, 2, 4, 6, 8, 12) or GainMode enum value.");
}

std::uint8_t RequirePolarity(const mxArray* payload) {
    const mxArray* field = FindPayloadField(payload, "polarity");
    if (field == nullptr || mxGetNumberOfElements(field) != 1) {
        ThrowMex(id::kInvalidArgument, "\"polarity\" must be numeric or boolean.");
    }
    if (mxIsLogical(field)) {
        return mxIsLogicalScalarTrue(field) ? KX_POLARITY_BOTH : KX_POLARITY_NONE;
    }
    const std::int32_t polarity = TruncateToInt32(RequirePayloadScalar(payload, "polarity", false));
    if (static_cast<std::uint32_t>(polarity) > kMaxPolarity) {
        ThrowMex(id::kInvalidArgument, "\"polarity\" must be boolean or one of 0, 1, 2, 3.");
    }
    return static_cast<std::uint8_t>(polarity);
}

// The real device's rate code for rate_hz, after the rate table and the
// model's limits.
std::uint8_t RequireDeviceRateCode(std::int32_t rate_hz) {
    const kx_device_info& info = RequireDeviceInfo();
    const RateCode* match = nullptr;
    for (const RateCode& entry : kRateCodes) {
        if (entry.rate_hz == rate_hz) {
            match = &entry;
        }
    }
    if (match == nullptr) {
        ThrowMex(id::kWrongValue, "Wrong sample rate.");
    }
    switch (info.device_model) {
        case KX_MODEL_RUNA:
        case KX_MODEL_TOKA:
            if (rate_hz != 250) {
                ThrowMex(id::kWrongValue,
                         DeviceModelNameForMatlab(info.device_model) + " only supports 250Hz sample rate.");
            }
            break;
        case KX_MODEL_VELO:
        case KX_MODEL_SOLA1:
        case KX_MODEL_SOLA:
            if (rate_hz > 500) {
                ThrowMex(id::kWrongValue,
                         DeviceModelNameForMatlab(info.device_model) + " supports sample rates up to 500Hz.");
            }
            break;
        default: break;
    }
    return match->code;
}

}  // namespace

MxPtr HandleSetChannelEnabled(const mxArray* payload) {
    kx_eeg_manager* manager = RequireIdleConnectedDevice("Cannot change channel state while streaming.");
    const std::int32_t channel = RequireChannel(payload);
    const bool enabled = RequirePayloadScalar(payload, "enabled", true) != 0.0;
    ApplyChannelSetting(manager, channel, enabled, &SessionState::mock_channel_enabled,
                        kx_eeg_manager_set_channel_enabled);
    return StructBuilder({"channel_id", "enabled"})
        .Set("channel_id", MakeDouble(channel))
        .Set("enabled", MakeLogical(enabled))
        .Release();
}

MxPtr HandleSetChannelGain(const mxArray* payload) {
    kx_eeg_manager* manager = RequireIdleConnectedDevice("Cannot change channel gain while streaming.");
    const std::int32_t channel = RequireChannel(payload);
    if (static_cast<std::uint32_t>(channel) > kMaxGainChannel) {
        ThrowMex(id::kInvalidArgument, "Invalid channel number.");
    }
    const std::uint8_t mode = RequireGainMode(payload);
    ApplyChannelSetting(manager, channel, mode, &SessionState::mock_channel_gains, kx_eeg_manager_set_channel_gain);
    return StructBuilder({"channel_id", "gain_mode"})
        .Set("channel_id", MakeDouble(channel))
        .Set("gain_mode", MakeNamedValue(GainModeName(mode), mode))
        .Release();
}

MxPtr HandleSetChannelBias(const mxArray* payload) {
    kx_eeg_manager* manager = RequireIdleConnectedDevice("Cannot change channel bias while streaming.");
    const std::int32_t channel = RequireChannel(payload);
    const std::uint8_t polarity = RequirePolarity(payload);
    ApplyChannelSetting(manager, channel, polarity, &SessionState::mock_channel_biases,
                        kx_eeg_manager_set_channel_bias);
    return StructBuilder({"channel_id", "polarity"})
        .Set("channel_id", MakeDouble(channel))
        .Set("polarity", MakeNamedValue(PolarityName(polarity), polarity))
        .Release();
}

MxPtr HandleSetSampleRate(const mxArray* payload) {
    kx_eeg_manager* manager = RequireIdleConnectedDevice("Cannot change sample rate while streaming.");
    const std::int32_t rate_hz = TruncateToInt32(RequirePayloadScalar(payload, "rate_hz", false));
    if (rate_hz <= 0) {
        ThrowMex(id::kInvalidArgument, "\"rate_hz\" must be positive.");
    }

    SessionState& session = *Session();
    if (session.mock_mode) {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        session.mock_sample_rate_hz = rate_hz;
    } else {
        const std::uint8_t code = RequireDeviceRateCode(rate_hz);
        CallSdkRequiringOk("kx_eeg_manager_set_data_stream_rate",
                           [&] { return kx_eeg_manager_set_data_stream_rate(manager, code); });
    }
    session.stream_sample_rate_hz.store(rate_hz);
    return StructBuilder({"sample_rate_hz"}).Set("sample_rate_hz", MakeDouble(rate_hz)).Release();
}

MxPtr HandleLoadConfig() {
    kx_eeg_manager* manager = RequireConnectedManager();
    if (!Session()->mock_mode) {
        CallSdkRequiringOk("kx_eeg_manager_load_config",
                           [&] { return kx_eeg_manager_load_config(manager, nullptr, nullptr); });
    }
    return StructBuilder({"loaded"}).Set("loaded", MakeLogical(true)).Release();
}

}  // namespace kx
