#include "core/clock.h"

#include <chrono>

namespace vl5::terminal {

std::int64_t Clock::NowMs() const {
  if (frozen_seconds_) return *frozen_seconds_ * 1000;
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace vl5::terminal
