#include "terminal/model/market/day_cache.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

#include "terminal/base/calendar.h"
#include "terminal/model/market/day_store.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kDayMs = 86400LL * 1000;

// Threads for generating many days: the machine's, within reason.
int Threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1U, 4U));
}

MinuteBar Compact(const Bar& bar) {
  MinuteBar m;
  m.open = bar.open;
  m.high = static_cast<std::int32_t>(bar.high - bar.open);
  m.low = static_cast<std::int32_t>(bar.low - bar.open);
  m.close = static_cast<std::int32_t>(bar.close - bar.open);
  m.spread = bar.spread;
  m.tick_volume = static_cast<std::uint32_t>(bar.tick_volume);
  m.real_volume = static_cast<std::uint32_t>(bar.real_volume);
  return m;
}

// Every minute of a completed day, and the day's bar merged from them.
std::shared_ptr<DayMinutes> GenerateMinutes(const PricePath& path, std::int64_t day, Bar* day_bar) {
  auto minutes = std::make_shared<DayMinutes>(kMinutesPerDay);
  const std::int64_t first = day * kMinutesPerDay;
  const std::int64_t start = std::max(first, path.first_minute());
  *day_bar = Bar{};
  day_bar->time = day * 86400;
  TickWalker walker(path, start);
  for (std::int64_t minute = start; minute < first + kMinutesPerDay; ++minute) {
    const MinuteTicks& ticks = walker.Next();
    Bar bar;
    bar.time = minute * 60;
    for (int j = 0; j < ticks.count; ++j) Accumulate(&bar, ticks.ticks[static_cast<std::size_t>(j)]);
    (*minutes)[static_cast<std::size_t>(minute - first)] = Compact(bar);
    Merge(day_bar, bar);
  }
  return minutes;
}

}  // namespace

Bar Expand(const MinuteBar& compact, std::int64_t minute) {
  Bar bar;
  bar.time = minute * 60;
  bar.open = compact.open;
  bar.high = compact.open + compact.high;
  bar.low = compact.open + compact.low;
  bar.close = compact.open + compact.close;
  bar.spread = compact.spread;
  bar.tick_volume = compact.tick_volume;
  bar.real_volume = compact.real_volume;
  return bar;
}

void ParallelFor(std::int64_t count, int threads, const std::function<void(std::int64_t)>& work) {
  std::atomic<std::int64_t> next{0};
  std::mutex failure_mutex;
  std::exception_ptr failure;
  // An exception leaving a helper would end the process: the first one
  // stops the work and reaches the caller once every helper has ended.
  const auto run = [&] {
    try {
      for (std::int64_t i = next++; i < count; i = next++) work(i);
    } catch (...) {
      std::lock_guard<std::mutex> lock(failure_mutex);
      if (!failure) failure = std::current_exception();
      next = count;
    }
  };
  std::vector<std::thread> helpers;
  try {
    for (int t = 1; t < threads && t < count; ++t) helpers.emplace_back(run);
  } catch (const std::system_error&) {
    // No thread to spare: fewer threads do the same work.
  }
  run();
  for (std::thread& helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);
}

Bar DayFromMinutes(const PricePath& path, std::int64_t day, std::int64_t now_ms) {
  Bar bar;
  bar.time = day * 86400;
  const std::int64_t end = std::min((day + 1) * kMinutesPerDay, FloorDiv(now_ms, 60000) + 1);
  std::int64_t minute = std::max(day * kMinutesPerDay, path.first_minute());
  TickWalker walker(path, minute);
  AccumulateMinutes(&walker, &minute, end, now_ms, &bar);
  return bar;
}

std::int64_t DayCache::Slot(const PricePath& path, std::int64_t day) {
  if (!started_) {
    first_day_ = FloorDiv(path.first_minute(), kMinutesPerDay);
    started_ = true;
  }
  return day - first_day_;
}

bool DayCache::HasDay(const PricePath& path, std::int64_t day) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::int64_t slot = Slot(path, day);
  return slot >= 0 && slot < static_cast<std::int64_t>(days_.size()) && days_[static_cast<std::size_t>(slot)].time != 0;
}

std::vector<Bar> DayCache::KnownDays(const PricePath& path, std::int64_t* first_day) {
  std::lock_guard<std::mutex> lock(mutex_);
  Slot(path, 0);
  *first_day = first_day_;
  return days_;
}

void DayCache::AddKnownDays(const PricePath& path, std::int64_t first_day, const std::vector<Bar>& bars) {
  std::lock_guard<std::mutex> lock(mutex_);
  Slot(path, 0);
  if (first_day != first_day_) return;
  if (bars.size() > days_.size()) days_.resize(bars.size());
  for (std::size_t i = 0; i < bars.size(); ++i) {
    if (days_[i].time == 0) days_[i] = bars[i];
  }
}

void DayCache::StoreDay(const PricePath& path, std::int64_t day, const Bar& bar) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::int64_t slot = Slot(path, day);
  if (slot < 0) return;
  if (slot >= static_cast<std::int64_t>(days_.size())) days_.resize(static_cast<std::size_t>(slot) + 1);
  Bar& kept = days_[static_cast<std::size_t>(slot)];
  if (kept.time == 0) ++computed_;
  kept = bar;
}

void DayCache::LoadKept(const PricePath& path) {
  std::call_once(loaded_, [&] {
    if (store_) store_->Load(path, this);
  });
}

void DayCache::SaveComputed(const PricePath& path, bool all) {
  if (!store_) return;
  std::lock_guard<std::mutex> saving(saving_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (computed_ == 0 || (!all && computed_ < kSaveAfter)) return;
    // Counted as saved even if the save fails: a folder that cannot be
    // written is not retried on every request.
    computed_ = 0;
  }
  LoadKept(path);  // a save holds what earlier runs kept too
  store_->Save(path, this);
}

Bar DayCache::CompletedDay(const PricePath& path, std::int64_t day) {
  LoadKept(path);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::int64_t slot = Slot(path, day);
    if (slot >= 0 && slot < static_cast<std::int64_t>(days_.size()) &&
        days_[static_cast<std::size_t>(slot)].time != 0) {
      return days_[static_cast<std::size_t>(slot)];
    }
  }
  // A whole day: every tick of it lies before the end of the day.
  const Bar bar = DayFromMinutes(path, day, (day + 1) * kDayMs - 1);
  StoreDay(path, day, bar);
  return bar;
}

std::shared_ptr<const DayMinutes> DayCache::Minutes(const PricePath& path, std::int64_t day) {
  LoadKept(path);
  if (std::shared_ptr<const DayMinutes> kept = kept_->Find({this, day})) return kept;
  Bar day_bar;
  std::shared_ptr<const DayMinutes> minutes = GenerateMinutes(path, day, &day_bar);
  StoreDay(path, day, day_bar);
  kept_->Keep({this, day}, minutes);
  return minutes;
}

void DayCache::Prepare(const PricePath& path, std::int64_t first, std::int64_t last, bool minutes) {
  LoadKept(path);
  std::vector<std::int64_t> missing;
  for (std::int64_t day = std::max(first, FloorDiv(path.first_minute(), kMinutesPerDay)); day <= last; ++day) {
    if (!(minutes ? kept_->Find({this, day}) != nullptr : HasDay(path, day))) missing.push_back(day);
  }
  // Minute bars beyond what is kept would push each other out before use;
  // a few days are not worth the threads and are generated on use.
  if ((!minutes || missing.size() <= kept_->capacity()) && missing.size() >= 4) {
    ParallelFor(static_cast<std::int64_t>(missing.size()), Threads(), [&](std::int64_t i) {
      const std::int64_t day = missing[static_cast<std::size_t>(i)];
      if (minutes) {
        Minutes(path, day);
      } else {
        CompletedDay(path, day);
      }
    });
  }
  // Also what earlier requests computed on use.
  SaveComputed(path, false);
}

}  // namespace vl5::terminal::market
