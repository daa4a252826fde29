// The terminal clock that market data is generated up to: the system clock,
// or a clock set to a given moment. A set clock stands still, so that every
// query is repeatable, or runs from that moment at a multiple of real time,
// so that a test can watch minutes of market pass in a second.
// Waits (a login's connecting phase, idle exit) use the monotonic clock.
#pragma once

#include <cstdint>
#include <optional>

namespace vl5::terminal {

// A set clock starts no later than this and never runs past it (2100-01-01):
// market data is generated from the history start up to the clock, so a
// far-future clock would make every long-timeframe request enormous.
inline constexpr std::int64_t kLatestClockSeconds = 4102444800;

class Clock {
 public:
  // No start: the system clock. Speed 0 stands still at the start.
  Clock(std::optional<std::int64_t> start_seconds, std::uint32_t speed);
  // Unix milliseconds; a set clock stops at kLatestClockSeconds.
  std::int64_t NowMs() const;
  bool frozen() const { return start_seconds_.has_value() && speed_ == 0; }

 private:
  std::optional<std::int64_t> start_seconds_;
  std::uint32_t speed_;
  std::int64_t origin_steady_ms_;  // when the clock was set
};

// Milliseconds of a monotonic clock with an arbitrary origin.
std::int64_t SteadyMs();

}  // namespace vl5::terminal
