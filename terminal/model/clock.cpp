#include "terminal/model/clock.h"

#include <algorithm>
#include <chrono>

namespace vl5::terminal {

namespace {

class SystemClock final : public Clock {
 public:
  std::int64_t NowMs() const override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  }
};

class SetClock final : public Clock {
 public:
  SetClock(std::int64_t start_seconds, std::uint32_t speed)
      : start_ms_(std::min(start_seconds, kLatestClockSeconds) * 1000), speed_(speed), origin_steady_ms_(SteadyMs()) {}

  std::int64_t NowMs() const override {
    if (speed_ == 0) return start_ms_;
    const std::int64_t elapsed_ms = SteadyMs() - origin_steady_ms_;
    // Compared before multiplying, so no speed and no uptime can overflow.
    if (elapsed_ms > (kLatestClockMs - start_ms_) / speed_) return kLatestClockMs;
    return start_ms_ + elapsed_ms * speed_;
  }

 private:
  const std::int64_t start_ms_;
  const std::uint32_t speed_;
  const std::int64_t origin_steady_ms_;  // when the clock was set
};

class SteppedClock final : public Clock {
 public:
  explicit SteppedClock(std::int64_t start_seconds) : now_ms_(std::min(start_seconds, kLatestClockSeconds) * 1000) {}

  std::int64_t NowMs() const override { return now_ms_.load(std::memory_order_acquire); }
  bool stepped() const override { return true; }

  // Forward only and never past the bound; the Terminal serialises moves.
  bool MoveTo(std::int64_t to_ms) override {
    if (to_ms < NowMs() || to_ms > kLatestClockMs) return false;
    now_ms_.store(to_ms, std::memory_order_release);
    return true;
  }

 private:
  std::atomic<std::int64_t> now_ms_;
};

}  // namespace

std::unique_ptr<Clock> MakeClock(std::optional<std::int64_t> start_seconds, std::uint32_t speed, bool stepped) {
  if (!start_seconds) return std::make_unique<SystemClock>();
  if (stepped) return std::make_unique<SteppedClock>(*start_seconds);
  return std::make_unique<SetClock>(*start_seconds, speed);
}

std::int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace vl5::terminal
