#include "terminal/core/clock.h"

#include <chrono>

namespace vl5::terminal {

Clock::Clock(std::optional<std::int64_t> start_seconds, std::uint32_t speed)
    : start_seconds_(start_seconds), speed_(speed), origin_steady_ms_(SteadyMs()) {}

std::int64_t Clock::NowMs() const {
  if (start_seconds_) return *start_seconds_ * 1000 + (SteadyMs() - origin_steady_ms_) * speed_;
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace vl5::terminal
