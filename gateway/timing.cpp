#include "gateway/timing.h"

#include <cerrno>
#include <ctime>

namespace kx {

void SleepResuming(std::chrono::nanoseconds duration) {
    if (duration.count() <= 0) {
        return;
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    timespec request{};
    request.tv_sec = static_cast<time_t>(seconds.count());
    request.tv_nsec = static_cast<long>((duration - seconds).count());
    timespec remaining{};
    while (nanosleep(&request, &remaining) != 0 && errno == EINTR) {
        request = remaining;
    }
}

}  // namespace kx
