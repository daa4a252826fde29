// The market's time, in one place. Three kinds: the system clock; a set clock
// that stands still (every query repeatable) or runs from its start at a
// multiple of real time (a replay); and a stepped clock that stands at its
// start and moves only when a client asks (a backtest). Nothing else reads or
// moves the market's time; the trading engine's walk up to it is the
// Terminal's. Waits (a login's connecting phase, idle exit) use the monotonic
// clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace vl5::terminal {

// A set clock starts no later than this and never runs past it (2100-01-01):
// market data is generated from the history start up to the clock, so a
// far-future clock would make every long-timeframe request enormous.
inline constexpr std::int64_t kLatestClockSeconds = 4102444800;
inline constexpr std::int64_t kLatestClockMs = kLatestClockSeconds * 1000;

class Clock {
 public:
  virtual ~Clock() = default;
  // Unix milliseconds; never past kLatestClockMs for a set or stepped clock.
  virtual std::int64_t NowMs() const = 0;
  // Only a stepped clock moves on request; the others answer false.
  virtual bool MoveTo(std::int64_t /*to_ms*/) { return false; }
  virtual bool stepped() const { return false; }
};

// How a request to move the stepped clock ended; only kMoved changed anything.
enum class ClockMove { kMoved, kNotStepped, kOutOfRange, kNoBarAhead };

// No start: the system clock. A start with speed 0 stands still, with speed N
// runs N times real time; `stepped` stands at the start until moved.
std::unique_ptr<Clock> MakeClock(std::optional<std::int64_t> start_seconds, std::uint32_t speed, bool stepped);

// Milliseconds of a monotonic clock with an arbitrary origin.
std::int64_t SteadyMs();

}  // namespace vl5::terminal
