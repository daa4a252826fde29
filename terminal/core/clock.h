// The terminal clock that market data is generated up to: the system clock,
// or a moment frozen by the settings so that every query is repeatable.
// Waits (a login's connecting phase, idle exit) use the monotonic clock.
#pragma once

#include <cstdint>
#include <optional>

namespace vl5::terminal {

class Clock {
 public:
  explicit Clock(std::optional<std::int64_t> frozen_seconds) : frozen_seconds_(frozen_seconds) {}
  // Unix milliseconds.
  std::int64_t NowMs() const;
  bool frozen() const { return frozen_seconds_.has_value(); }

 private:
  std::optional<std::int64_t> frozen_seconds_;
};

// Milliseconds of a monotonic clock with an arbitrary origin.
std::int64_t SteadyMs();

}  // namespace vl5::terminal
