#include "terminal/model/market/bar_cache.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "src/wire/market_codes.h"
#include "terminal/base/calendar.h"
#include "terminal/model/market/active_minutes.h"
#include "terminal/model/market/day_cache.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kMinuteMs = 60000;

struct Slot {
  std::int64_t index = 0;
  Bar bar;  // tick_volume 0: no bar
  bool known = false;
  bool computed = false;  // made by this request, to keep
};

BarSpan Whole(std::int64_t first, std::int64_t last) { return BarSpan{first, last, last - first + 1}; }

// Merges into *bar the bars ForEachBar makes for `span`, oldest first.
void MergeBars(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span, std::int64_t now_ms,
               Bar* bar) {
  ForEachBar(path, days, timeframe, span, now_ms, [bar](const Bar& next) { Merge(bar, next); });
}

// Merges into *bar the minutes [from, to), all passed by `now_ms`: whole days
// as daily bars (which the day cache keeps), the rest as minute bars.
void MergeMinutes(const PricePath& path, DayCache* days, std::int64_t from, std::int64_t to, std::int64_t now_ms,
                  Bar* bar) {
  while (from < to) {
    const std::int64_t day = FloorDiv(from, kMinutesPerDay);
    if (from == day * kMinutesPerDay && to - from >= kMinutesPerDay) {
      const std::int64_t last_day = FloorDiv(to, kMinutesPerDay) - 1;
      MergeBars(path, days, wire::TIMEFRAME_D1, Whole(day, last_day), now_ms, bar);
      from = (last_day + 1) * kMinutesPerDay;
    } else {
      const std::int64_t stop = std::min(to, (day + 1) * kMinutesPerDay);
      MergeBars(path, days, wire::TIMEFRAME_M1, Whole(from, stop - 1), now_ms, bar);
      from = stop;
    }
  }
}

// Whether merging the minutes [from, to) costs no more than merging them
// from the start of `from`'s day: no day but the last is taken in part.
bool CheapFrom(std::int64_t from, std::int64_t to) {
  const std::int64_t day = FloorDiv(from, kMinutesPerDay);
  return from >= to || from == day * kMinutesPerDay || day == FloorDiv(to - 1, kMinutesPerDay);
}

// The first minute of bar `index` that can hold ticks.
std::int64_t OpenMinute(const PricePath& path, std::int32_t timeframe, std::int64_t index) {
  return std::max(FloorDiv(BarOpen(timeframe, index), 60), path.first_minute());
}

// The bars of `span` that exist by `now_minute`, oldest first; a gap costs
// one step.
std::vector<Slot> Existing(const PricePath& path, std::int32_t timeframe, BarSpan span, std::int64_t now_minute) {
  std::vector<Slot> slots;
  slots.reserve(static_cast<std::size_t>(span.Count()));
  for (std::int64_t index = span.first; index <= span.last; ++index) {
    const std::int64_t minute = NextActiveMinute(path, FloorDiv(BarOpen(timeframe, index), 60));
    if (minute > now_minute) break;
    index = BarIndex(timeframe, minute * 60);
    if (index > span.last) break;
    slots.push_back(Slot{index, Bar{}, false, false});
  }
  return slots;
}

}  // namespace

std::int64_t BarCache::ForEach(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                               std::int64_t now_ms, const std::function<void(const Bar&)>& emit) {
  if (span.Count() == 0) return 0;
  // Bars are gathered before they are emitted; a span too long to keep
  // would only push out what others use, and is made as it is emitted.
  if (span.Count() > static_cast<std::int64_t>(kept_->capacity()) * kChunkBars / 4) {
    return ForEachBar(path, days, timeframe, span, now_ms, emit);
  }
  const std::int64_t now_minute = FloorDiv(now_ms, kMinuteMs);
  const std::int64_t forming_index = BarIndex(timeframe, FloorDiv(now_ms, 1000));
  std::vector<Slot> slots = Existing(path, timeframe, span, now_minute);

  // Completed bars that are kept.
  std::shared_ptr<const BarChunk> chunk;
  std::int64_t chunk_number = 0;
  bool looked = false;
  for (Slot& slot : slots) {
    if (slot.index >= forming_index) break;
    const std::int64_t number = FloorDiv(slot.index, kChunkBars);
    if (!looked || number != chunk_number) {
      chunk = kept_->Find({this, timeframe, number});
      chunk_number = number;
      looked = true;
    }
    if (!chunk) continue;
    const auto at = static_cast<std::size_t>(slot.index - number * kChunkBars);
    if (!chunk->known[at]) continue;
    slot.bar = chunk->bars[at];
    slot.known = true;
  }

  std::optional<Forming> state;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto it = forming_.find(timeframe); it != forming_.end()) state = it->second;
  }

  // Completed bars that are not: the one that was forming is finished from
  // its passed minutes, runs of others are made as ForEachBar makes them.
  for (std::size_t i = 0; i < slots.size() && slots[i].index < forming_index;) {
    if (slots[i].known) {
      ++i;
      continue;
    }
    const std::int64_t end = FloorDiv(BarOpen(timeframe, slots[i].index + 1), 60);
    if (state && state->index == slots[i].index && CheapFrom(state->done, end)) {
      slots[i].bar = state->bar;
      MergeMinutes(path, days, state->done, end, now_ms, &slots[i].bar);
      slots[i].known = slots[i].computed = true;
      ++i;
      continue;
    }
    std::size_t stop = i + 1;
    while (stop < slots.size() && !slots[stop].known && slots[stop].index < forming_index &&
           !(state && state->index == slots[stop].index)) {
      ++stop;
    }
    std::size_t at = i;
    ForEachBar(path, days, timeframe, Whole(slots[i].index, slots[stop - 1].index), now_ms, [&](const Bar& bar) {
      const std::int64_t index = BarIndex(timeframe, bar.time);
      while (at < stop && slots[at].index < index) ++at;
      if (at < stop && slots[at].index == index) slots[at].bar = bar;
    });
    for (; i < stop; ++i) slots[i].known = slots[i].computed = true;
  }

  // Kept for the next requests, a chunk at a time. Chunks are replaced, not
  // changed: two requests filling one chunk at once may lose each other's
  // bars, which are then made again.
  for (std::size_t i = 0; i < slots.size();) {
    if (!slots[i].computed) {
      ++i;
      continue;
    }
    const std::int64_t number = FloorDiv(slots[i].index, kChunkBars);
    const std::shared_ptr<const BarChunk> base = kept_->Find({this, timeframe, number});
    auto fresh = base ? std::make_shared<BarChunk>(*base) : std::make_shared<BarChunk>();
    for (; i < slots.size() && FloorDiv(slots[i].index, kChunkBars) == number; ++i) {
      if (!slots[i].computed) continue;
      const auto at = static_cast<std::size_t>(slots[i].index - number * kChunkBars);
      fresh->bars[at] = slots[i].bar;
      fresh->known.set(at);
    }
    kept_->Keep({this, timeframe, number}, std::move(fresh));
  }

  // The forming bar: its passed minutes, kept, and the minute forming now.
  if (!slots.empty() && slots.back().index == forming_index) {
    Forming next;
    if (state && state->index == forming_index && state->done <= now_minute && CheapFrom(state->done, now_minute)) {
      next = *state;
    } else {
      next.index = forming_index;
      next.done = OpenMinute(path, timeframe, forming_index);
      next.bar.time = BarOpen(timeframe, forming_index);
    }
    MergeMinutes(path, days, next.done, now_minute, now_ms, &next.bar);
    next.done = std::max(next.done, now_minute);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      forming_[timeframe] = next;
    }
    slots.back().bar = next.bar;
    MergeBars(path, days, wire::TIMEFRAME_M1, Whole(now_minute, now_minute), now_ms, &slots.back().bar);
  }

  std::int64_t emitted = 0;
  for (const Slot& slot : slots) {
    if (slot.bar.tick_volume == 0) continue;
    emit(slot.bar);
    ++emitted;
  }
  return emitted;
}

}  // namespace vl5::terminal::market
