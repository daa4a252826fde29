// Computes the daily bars of every symbol's whole history in the background,
// at the lowest thread priority, newest days first: the first request for
// D1, W1 or MN1 bars over years then finds them ready instead of walking
// millions of minutes while its client waits. Stops when destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "terminal/market/catalog.h"

namespace vl5::terminal::market {

class DayFill {
 public:
  // Fills the days that ended before `now_ms`.
  DayFill(const Market& market, std::int64_t now_ms);
  DayFill(const DayFill&) = delete;
  DayFill& operator=(const DayFill&) = delete;
  ~DayFill();

  bool done() const { return done_.load(); }

 private:
  void Run(const Market& market, std::int64_t today);

  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace vl5::terminal::market
