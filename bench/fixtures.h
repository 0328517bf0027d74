// What the benchmarks below the MEX entry point drive the gateway with: a
// manager of the simulated SDK for the data callback, one chunk as the SDK
// hands it over, and a producer thread that is joined on every way out.
#ifndef KX_BENCH_FIXTURES_H
#define KX_BENCH_FIXTURES_H

#include "bench/bench_util.h"
#include "interfaces/kxcore.h"
#include "kxsim.h"
#include "session/session_state.h"

#include <cstddef>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kxbench {

constexpr int kFastestRateHz = 16000;

inline std::string Layout(std::size_t channels, std::size_t samples) {
    return std::to_string(channels) + " x " + std::to_string(samples);
}

// A manager of the simulated SDK whose stream reports `channels` float32
// channels, attached to `session` for the data callback.
class CallbackManager {
public:
    CallbackManager(kx::SessionState& session, std::size_t channels) : session_(session) {
        kxsim::Reset();
        kxsim::SetChannelTypes(std::vector<int>(channels, KX_DATA_TYPE_FLOAT32));
        manager_ = kx_eeg_manager_new();
        Require(manager_ != nullptr, "kx_eeg_manager_new returned null");
        session_.manager.store(manager_);
        session_.stream_sample_rate_hz.store(kFastestRateHz);
    }
    ~CallbackManager() {
        session_.manager.store(nullptr);
        kx_eeg_manager_free(manager_);
        kxsim::Reset();
    }
    CallbackManager(const CallbackManager&) = delete;
    CallbackManager& operator=(const CallbackManager&) = delete;

private:
    kx::SessionState& session_;
    kx_eeg_manager* manager_ = nullptr;
};

// One chunk as the SDK hands it over: one float32 array per channel.
class SdkChunk {
public:
    SdkChunk(std::size_t channels, std::size_t samples) : values_(channels, std::vector<float>(samples)) {
        for (std::size_t c = 0; c < channels; ++c) {
            for (std::size_t s = 0; s < samples; ++s) {
                values_[c][s] = static_cast<float>(c * 100) + static_cast<float>(s) * 0.25f;
            }
            pointers_.push_back(values_[c].data());
        }
    }
    const void* const* Data() const { return pointers_.data(); }
    std::size_t Channels() const { return values_.size(); }
    std::size_t Samples() const { return values_.front().size(); }
    const float* Channel(std::size_t c) const { return values_[c].data(); }
    std::size_t Values() const { return Channels() * Samples(); }

private:
    std::vector<std::vector<float>> values_;
    std::vector<const void*> pointers_;
};

// Joins a producer thread on every way out, so a failed check cannot end the
// process through a joinable thread's destructor.
class Joined {
public:
    explicit Joined(std::thread thread) : thread_(std::move(thread)) {}
    ~Joined() { Join(); }
    Joined(const Joined&) = delete;
    Joined& operator=(const Joined&) = delete;
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    std::thread thread_;
};

}  // namespace kxbench

#endif  // KX_BENCH_FIXTURES_H
