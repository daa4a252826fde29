// What the price path produced on completed days, kept per symbol. A day
// that has ended never changes, so its daily bar is computed once (D1, W1 and
// MN1 bars merge days instead of re-walking every minute of their span), and
// the minute bars of recently asked days are kept too (within the market's
// budget, kept_minutes.h), so that long ranges of intraday bars are merged
// from minute bars instead of generated from ticks.
// Both hold the raw path; whatever hides minutes (market hours) filters
// on top. Missing days are generated on several threads when many are asked.
// With a store (day_store.h), the daily bars kept by earlier runs are loaded
// when a request first needs this symbol's days, and what requests compute
// is saved there.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "terminal/model/market/bars.h"
#include "terminal/model/market/kept_minutes.h"
#include "terminal/model/market/price_path.h"

namespace vl5::terminal::market {

class DayStore;

// The bar of minute `minute` (Unix minutes) from its compact form.
Bar Expand(const MinuteBar& compact, std::int64_t minute);

class DayCache {
 public:
  // Minute bars are kept in `kept`, which outlives the cache.
  explicit DayCache(KeptMinutes* kept) : kept_(kept) {}
  DayCache(const DayCache&) = delete;
  DayCache& operator=(const DayCache&) = delete;

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

  // Keeps the daily bars in `store` from now on; before any other call.
  void KeepIn(std::shared_ptr<const DayStore> store) { store_ = std::move(store); }
  // Saves the days computed since the last save: when they are worth a
  // save (kSaveAfter of them), or, with `all`, whenever there are any.
  void SaveComputed(const PricePath& path, bool all);

  // Days computed between two saves at most, unless the terminal ends
  // cleanly: a day costs a walk over its minutes, a save writes every day
  // the symbol has, so saving after fewer would cost more than it keeps,
  // and a terminal killed before saving loses at most these.
  static constexpr std::size_t kSaveAfter = 32;

 private:
  void StoreDay(const PricePath& path, std::int64_t day, const Bar& bar);
  std::int64_t Slot(const PricePath& path, std::int64_t day);  // under the lock
  // Reads what the store keeps for `path`, once, when days are first needed.
  void LoadKept(const PricePath& path);

  KeptMinutes* const kept_;
  std::shared_ptr<const DayStore> store_;
  std::once_flag loaded_;
  std::mutex saving_;         // one save of this symbol at a time
  std::size_t computed_ = 0;  // days stored since the last save, under mutex_
  std::mutex mutex_;
  std::int64_t first_day_ = 0;
  bool started_ = false;
  std::vector<Bar> days_;  // time 0: not computed yet (a day without trading has no ticks)
};

// The bar of one day from its minutes, with ticks up to `now_ms`.
Bar DayFromMinutes(const PricePath& path, std::int64_t day, std::int64_t now_ms);

// Runs `work(i)` for i in [0, count) on up to `threads` threads, this one
// included.
void ParallelFor(std::int64_t count, int threads, const std::function<void(std::int64_t)>& work);

}  // namespace vl5::terminal::market
