// What the price path produced on completed days, kept per symbol. A day
// that has ended never changes, so its daily bar is computed once (D1, W1 and
// MN1 bars merge days instead of re-walking every minute of their span), and
// the minute bars of recently asked days are kept too, so that long ranges of
// intraday bars are merged from minute bars instead of generated from ticks.
// Both hold the raw path; whatever hides minutes (market sessions) filters
// on top. Missing days are generated on several threads when many are asked.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "terminal/model/market/bars.h"
#include "terminal/model/market/price_path.h"

namespace vl5::terminal::market {

// One minute's bar in 32 bytes; prices relative to the open, which a
// minute's range keeps far inside 32 bits.
struct MinuteBar {
  std::int64_t open = 0;
  std::int32_t high = 0;
  std::int32_t low = 0;
  std::int32_t close = 0;
  std::int32_t spread = 0;
  std::uint32_t tick_volume = 0;
  std::uint32_t real_volume = 0;
};

inline constexpr int kMinutesPerDay = 1440;
using DayMinutes = std::vector<MinuteBar>;  // kMinutesPerDay of them, from 00:00 UTC

// The bar of minute `minute` (Unix minutes) from its compact form.
Bar Expand(const MinuteBar& compact, std::int64_t minute);

class DayCache {
 public:
  // Days whose minute bars are kept at most (46 KB each): a million M1
  // bars of a symbol that trades five days a week, about 47 MB a symbol.
  static constexpr std::size_t kMinuteDays = 1024;

  // The bar of day `day` (days since 1970-01-01), which must have ended.
  // Thread-safe; computed outside the lock.
  Bar CompletedDay(const PricePath& path, std::int64_t day);
  // The minute bars of a completed day.
  std::shared_ptr<const DayMinutes> Minutes(const PricePath& path, std::int64_t day);
  // Computes the missing completed days of [first, last] ahead of their use,
  // on several threads when there are many; with `minutes`, their minute
  // bars too (as many as are kept).
  void Prepare(const PricePath& path, std::int64_t first, std::int64_t last, bool minutes);
  // Whether the daily bar of `day` is already known.
  bool HasDay(const PricePath& path, std::int64_t day);
  // The daily bars from the history's first day on (time 0: not known),
  // to save; and bars saved before, for days not known yet.
  std::vector<Bar> KnownDays(const PricePath& path, std::int64_t* first_day);
  void AddKnownDays(const PricePath& path, std::int64_t first_day, const std::vector<Bar>& bars);

 private:
  struct Kept {
    std::shared_ptr<const DayMinutes> minutes;
    std::uint64_t used = 0;
  };
  void StoreDay(const PricePath& path, std::int64_t day, const Bar& bar);
  void StoreMinutes(std::int64_t day, std::shared_ptr<const DayMinutes> minutes);
  std::int64_t Slot(const PricePath& path, std::int64_t day);  // under the lock

  std::mutex mutex_;
  std::int64_t first_day_ = 0;
  bool started_ = false;
  std::vector<Bar> days_;  // time 0: not computed yet (a day without trading has no ticks)
  std::map<std::int64_t, Kept> minutes_;
  std::uint64_t uses_ = 0;
};

// The bar of one day from its minutes, with ticks up to `now_ms`.
Bar DayFromMinutes(const PricePath& path, std::int64_t day, std::int64_t now_ms);

// Runs `work(i)` for i in [0, count) on up to `threads` threads, this one
// included.
void ParallelFor(std::int64_t count, int threads, const std::function<void(std::int64_t)>& work);

}  // namespace vl5::terminal::market
