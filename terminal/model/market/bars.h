// Bars of every timeframe, aggregated from the ticks of the price path, so a
// bar of any timeframe equals the aggregate of the shorter bars it spans.
// Only bars with ticks exist: outside the trading hours there are gaps.
// Which minutes hold ticks is known without generating them
// (active_minutes.h), so the bars of a query are counted first and a reply's
// length is known before its first bar is made.
#pragma once

#include <cstdint>
#include <functional>

#include "terminal/model/market/price_path.h"

namespace vl5::terminal::market {

// Prices in whole points, as the ticks carry them.
struct Bar {
  std::int64_t time = 0;  // opening time, Unix seconds
  std::int64_t open = 0;
  std::int64_t high = 0;
  std::int64_t low = 0;
  std::int64_t close = 0;
  std::uint64_t tick_volume = 0;
  std::int32_t spread = 0;  // smallest spread of the bar's ticks, in points
  std::uint64_t real_volume = 0;
};

// Bar indexes [first, last] and how many of those bars exist (have ticks).
struct BarSpan {
  std::int64_t first = 0;
  std::int64_t last = -1;
  std::int64_t count = 0;
  std::int64_t Count() const { return count; }
};

// Every bar from the history start to the one holding `now_ms`.
BarSpan AvailableBars(const PricePath& path, std::int32_t timeframe, std::int64_t now_ms);

// The query shapes. At most `limit` bars are kept, the newest ones. A
// negative count is the caller's to refuse; here it selects nothing.
// `count` bars ending with the one open at `date_from` (seconds), or with
// the newest bar when `date_from` lies after it.
BarSpan BarsFrom(const PricePath& path, std::int32_t timeframe, std::int64_t date_from, std::int64_t count,
                 std::int64_t now_ms, std::int64_t limit);
// Bars opening in [from, to] (seconds).
BarSpan BarsRange(const PricePath& path, std::int32_t timeframe, std::int64_t from, std::int64_t to,
                  std::int64_t now_ms, std::int64_t limit);
// `count` bars ending `start_pos` bars before the newest one (position 0).
BarSpan BarsFromPos(const PricePath& path, std::int32_t timeframe, std::int64_t start_pos, std::int64_t count,
                    std::int64_t now_ms, std::int64_t limit);

class DayCache;

// Generates the bars of `span`, oldest first; ticks after `now_ms` do not
// exist yet, so the current bar is partial. With `days`, completed days come
// from its cache (D1 and longer bars from daily bars, shorter ones from
// minute bars); without, every bar is generated from ticks.
// Returns the number emitted.
std::int64_t ForEachBar(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                        std::int64_t now_ms, const std::function<void(const Bar&)>& emit);
// ForEachBar for a span holding bars, from the ticks of each minute: how
// sources that make ticks minute by minute make their bars.
std::int64_t ForEachBarFromTicks(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                                 std::int64_t now_ms, const std::function<void(const Bar&)>& emit);

// Adds one tick to a bar (a bar with tick_volume 0 takes the tick as open).
void Accumulate(Bar* bar, const Tick& tick);
// Adds the ticks of the minutes from *minute up to `end` that exist by
// `now_ms`, walking `walker` forward; *minute ends at `end`.
void AccumulateMinutes(TickWalker* walker, std::int64_t* minute, std::int64_t end, std::int64_t now_ms, Bar* bar);
// Adds a shorter bar that follows the ones already in `bar`.
void Merge(Bar* bar, const Bar& next);

}  // namespace vl5::terminal::market
