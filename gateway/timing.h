// Sleeping on MATLAB's thread for the gateway's polls.
#ifndef KX_GATEWAY_TIMING_H
#define KX_GATEWAY_TIMING_H

#include <chrono>

namespace kx {

// Sleeps for the whole duration; a sleep cut short by a signal resumes for the
// time left.
void SleepResuming(std::chrono::nanoseconds duration);

// The poll interval of the connect and stream-state waits.
inline constexpr std::chrono::milliseconds kPollInterval{100};

}  // namespace kx

#endif  // KX_GATEWAY_TIMING_H
