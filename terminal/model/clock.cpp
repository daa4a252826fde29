#include "terminal/model/clock.h"

#include <algorithm>
#include <chrono>

namespace vl5::terminal {

Clock::Clock(std::optional<std::int64_t> start_seconds, std::uint32_t speed)
    : start_seconds_(start_seconds), speed_(speed), origin_steady_ms_(SteadyMs()) {}

std::int64_t Clock::NowMs() const {
  if (start_seconds_) {
    const std::int64_t latest_ms = kLatestClockSeconds * 1000;
    const std::int64_t start_ms = std::min(*start_seconds_, kLatestClockSeconds) * 1000;
    const std::int64_t elapsed_ms = SteadyMs() - origin_steady_ms_;
    // Compared before multiplying, so no speed and no uptime can overflow.
    if (speed_ != 0 && elapsed_ms > (latest_ms - start_ms) / speed_) return latest_ms;
    return start_ms + elapsed_ms * speed_;
  }
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace vl5::terminal
