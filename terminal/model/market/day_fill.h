// Computes the daily bars of every symbol's whole history in the background,
// at a low thread priority, newest days first, after what an earlier run
// saved in the data folder, and saves them as it goes: the first request for
// D1, W1 or MN1 bars over years then finds them ready instead of walking
// millions of minutes while its client waits. Stops when destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "terminal/model/market/catalog.h"

namespace vl5::terminal::market {

class DayFill {
 public:
  // Loads what `data_folder` holds at once (a few milliseconds), then fills
  // the days that ended before `now_ms` in the background; an empty
  // `data_folder` loads and saves nothing.
  DayFill(const Market& market, std::int64_t now_ms, std::u16string data_folder);
  DayFill(const DayFill&) = delete;
  DayFill& operator=(const DayFill&) = delete;
  ~DayFill();

 private:
  void Run(const Market& market, std::int64_t today);

  const std::u16string data_folder_;
  std::vector<bool> loaded_;  // per symbol: its saved days were read
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vl5::terminal::market
