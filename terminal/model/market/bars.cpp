#include "terminal/model/market/bars.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>

#include "terminal/model/market/active_minutes.h"
#include "terminal/base/calendar.h"
#include "terminal/model/market/day_cache.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kMinuteMs = 60000;

// Bar indexes from the history start to `now_ms`, not counted.
BarSpan Indexes(const PricePath& path, std::int32_t timeframe, std::int64_t now_ms) {
  const std::int64_t history = path.first_minute() * 60;
  const std::int64_t now = FloorDiv(now_ms, 1000);
  if (now < history) return BarSpan{};
  return BarSpan{BarIndex(timeframe, history), BarIndex(timeframe, now), 0};
}

// The last minute of bar `index` that exists by `now_ms`.
std::int64_t EndMinute(std::int32_t timeframe, std::int64_t index, std::int64_t now_ms) {
  return std::min(FloorDiv(BarOpen(timeframe, index + 1), 60) - 1, FloorDiv(now_ms, kMinuteMs));
}

// The newest `count` bars with ticks from bar `last` back, none before bar
// `floor`. Jumps from bar to bar with ticks, so a gap costs one step.
BarSpan Back(const PricePath& path, std::int32_t timeframe, std::int64_t floor, std::int64_t last, std::int64_t count,
             std::int64_t now_ms) {
  BarSpan span{last + 1, last, 0};
  for (std::int64_t index = last; span.count < count && index >= floor; --index) {
    const std::int64_t minute = LastActiveMinute(path, EndMinute(timeframe, index, now_ms));
    if (minute == kNoMinute) break;
    index = BarIndex(timeframe, minute * 60);
    if (index < floor) break;
    span.first = index;
    ++span.count;
  }
  return span.count == 0 ? BarSpan{} : span;
}

// How many of the bars [first, last] have ticks by `now_ms`.
std::int64_t CountForward(const PricePath& path, std::int32_t timeframe, std::int64_t first, std::int64_t last,
                          std::int64_t now_ms) {
  const std::int64_t end = EndMinute(timeframe, last, now_ms);
  std::int64_t count = 0;
  for (std::int64_t index = first; index <= last; ++index, ++count) {
    const std::int64_t minute = NextActiveMinute(path, FloorDiv(BarOpen(timeframe, index), 60));
    if (minute > end) break;
    index = BarIndex(timeframe, minute * 60);
  }
  return count;
}

}  // namespace

void Accumulate(Bar* bar, const Tick& tick) {
  const auto spread = static_cast<std::int32_t>(tick.ask - tick.bid);
  if (bar->tick_volume == 0) {
    bar->open = bar->high = bar->low = tick.bid;
    bar->spread = spread;
  }
  bar->high = std::max(bar->high, tick.bid);
  bar->low = std::min(bar->low, tick.bid);
  bar->close = tick.bid;
  bar->spread = std::min(bar->spread, spread);
  bar->tick_volume += 1;
  bar->real_volume += tick.volume;
}

void AccumulateMinutes(TickWalker* walker, std::int64_t* minute, std::int64_t end, std::int64_t now_ms, Bar* bar) {
  for (; *minute < end; ++*minute) {
    const MinuteTicks& ticks = walker->Next();
    for (int j = 0; j < ticks.count; ++j) {
      const Tick& tick = ticks.ticks[static_cast<std::size_t>(j)];
      if (tick.time_msc > now_ms) break;
      Accumulate(bar, tick);
    }
  }
}

void Merge(Bar* bar, const Bar& next) {
  if (next.tick_volume == 0) return;
  if (bar->tick_volume == 0) {
    const std::int64_t time = bar->time;
    *bar = next;
    bar->time = time;
    return;
  }
  bar->high = std::max(bar->high, next.high);
  bar->low = std::min(bar->low, next.low);
  bar->close = next.close;
  bar->spread = std::min(bar->spread, next.spread);
  bar->tick_volume += next.tick_volume;
  bar->real_volume += next.real_volume;
}

BarSpan AvailableBars(const PricePath& path, std::int32_t timeframe, std::int64_t now_ms) {
  BarSpan span = Indexes(path, timeframe, now_ms);
  span.count = CountForward(path, timeframe, span.first, span.last, now_ms);
  return span;
}

BarSpan BarsFrom(const PricePath& path, std::int32_t timeframe, std::int64_t date_from, std::int64_t count,
                 std::int64_t now_ms, std::int64_t limit) {
  // Bars after the clock do not exist yet, so a later date ends the window
  // at the newest bar instead of spending `count` on bars that are clipped.
  const BarSpan available = Indexes(path, timeframe, now_ms);
  const std::int64_t last = std::min(BarIndex(timeframe, date_from), available.last);
  return Back(path, timeframe, available.first, last, std::min(count, limit), now_ms);
}

BarSpan BarsRange(const PricePath& path, std::int32_t timeframe, std::int64_t from, std::int64_t to,
                  std::int64_t now_ms, std::int64_t limit) {
  if (from > to) return BarSpan{};
  std::int64_t first = BarIndex(timeframe, from);
  if (BarOpen(timeframe, first) < from) ++first;  // that bar opened before the range
  const BarSpan available = Indexes(path, timeframe, now_ms);
  return Back(path, timeframe, std::max(first, available.first), std::min(BarIndex(timeframe, to), available.last),
              limit, now_ms);
}

BarSpan BarsFromPos(const PricePath& path, std::int32_t timeframe, std::int64_t start_pos, std::int64_t count,
                    std::int64_t now_ms, std::int64_t limit) {
  const BarSpan available = Indexes(path, timeframe, now_ms);
  if (count <= 0 || start_pos < 0 || available.last < available.first) return BarSpan{};
  std::int64_t last = available.last;
  if (start_pos > 0) {
    const BarSpan skipped = Back(path, timeframe, available.first, last, start_pos, now_ms);
    if (skipped.count < start_pos) return BarSpan{};
    last = skipped.first - 1;
  }
  return Back(path, timeframe, available.first, last, std::min(count, limit), now_ms);
}

namespace {

// Days of minute bars generated ahead at a time, spread over the threads.
constexpr std::int64_t kPrepareDays = 32;

// Minute by minute, in order: completed days as minute bars from `days`
// (when given), the current day from one walker over its ticks.
std::int64_t BarsFromMinutes(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                             std::int64_t now_ms, const std::function<void(const Bar&)>& emit) {
  const std::int64_t now_minute = FloorDiv(now_ms, kMinuteMs);
  const std::int64_t today = days != nullptr ? FloorDiv(now_minute, kMinutesPerDay) : INT64_MIN;
  const std::int64_t last_minute = std::min(FloorDiv(BarOpen(timeframe, span.last + 1), 60), now_minute + 1) - 1;
  // Without a cache every minute comes from the walker and no day is prepared.
  const std::int64_t last_day = days != nullptr ? std::min(FloorDiv(last_minute, kMinutesPerDay), today - 1) : today;
  std::int64_t minute = std::max(FloorDiv(BarOpen(timeframe, span.first), 60), path.first_minute());
  std::optional<TickWalker> walker;
  std::shared_ptr<const DayMinutes> chunk;
  std::int64_t chunk_day = INT64_MIN, prepared = INT64_MIN;
  std::int64_t emitted = 0;
  for (std::int64_t index = span.first; index <= span.last; ++index) {
    Bar bar;
    bar.time = BarOpen(timeframe, index);
    const std::int64_t end = std::min(FloorDiv(BarOpen(timeframe, index + 1), 60), now_minute + 1);
    while (minute < end) {
      const std::int64_t day = FloorDiv(minute, kMinutesPerDay);
      if (day >= today) {
        if (!walker) walker.emplace(path, minute);
        AccumulateMinutes(&*walker, &minute, end, now_ms, &bar);
        break;
      }
      if (day > prepared) {
        prepared = std::min(day + kPrepareDays - 1, last_day);
        days->Prepare(path, day, prepared, true);
      }
      if (day != chunk_day) {
        chunk = days->Minutes(path, day);
        chunk_day = day;
      }
      const std::int64_t stop = std::min(end, (day + 1) * kMinutesPerDay);
      for (; minute < stop; ++minute) {
        Merge(&bar, Expand((*chunk)[static_cast<std::size_t>(minute - day * kMinutesPerDay)], minute));
      }
    }
    if (bar.tick_volume == 0) continue;
    emit(bar);
    ++emitted;
  }
  return emitted;
}

// Day by day: completed days from the cache, the current day from minutes.
std::int64_t BarsFromDays(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                          std::int64_t now_ms, const std::function<void(const Bar&)>& emit) {
  const std::int64_t today = FloorDiv(now_ms, 86400 * 1000);
  const std::int64_t first_day = FloorDiv(path.first_minute(), 1440);
  const std::int64_t last_day = std::min(FloorDiv(BarOpen(timeframe, span.last + 1), 86400) - 1, today - 1);
  days->Prepare(path, std::max(FloorDiv(BarOpen(timeframe, span.first), 86400), first_day), last_day, false);
  std::int64_t emitted = 0;
  for (std::int64_t index = span.first; index <= span.last; ++index) {
    Bar bar;
    bar.time = BarOpen(timeframe, index);
    const std::int64_t begin = std::max(FloorDiv(bar.time, 86400), first_day);
    const std::int64_t end = std::min(FloorDiv(BarOpen(timeframe, index + 1), 86400), today + 1);
    for (std::int64_t day = begin; day < end; ++day) {
      Merge(&bar, day < today ? days->CompletedDay(path, day) : DayFromMinutes(path, day, now_ms));
    }
    if (bar.tick_volume == 0) continue;
    emit(bar);
    ++emitted;
  }
  return emitted;
}

}  // namespace

std::int64_t ForEachBar(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                        std::int64_t now_ms, const std::function<void(const Bar&)>& emit) {
  if (span.Count() == 0) return 0;
  return path.source().ForEachBar(path, days, timeframe, span, now_ms, emit);
}

std::int64_t ForEachBarFromTicks(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                                 std::int64_t now_ms, const std::function<void(const Bar&)>& emit) {
  if (days != nullptr && timeframe >= wire::TIMEFRAME_D1) {
    return BarsFromDays(path, days, timeframe, span, now_ms, emit);
  }
  return BarsFromMinutes(path, days, timeframe, span, now_ms, emit);
}

}  // namespace vl5::terminal::market
