#include "terminal/model/market/history.h"

#include <algorithm>
#include <climits>

#include "terminal/model/market/active_minutes.h"
#include "terminal/base/calendar.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kMinuteMs = 60000;
constexpr std::int64_t kPathOffsetsMs[kPathTicks] = {0, 20000, 40000, 59000};

// The first bar opening at or after `minute`.
std::vector<Bar>::const_iterator FirstFrom(const std::vector<Bar>& bars, std::int64_t minute) {
  // Saturated: a minute near the ends of the 64-bit range has no seconds.
  const std::int64_t seconds = minute > INT64_MAX / 60 ? INT64_MAX : minute < INT64_MIN / 60 ? INT64_MIN : minute * 60;
  return std::lower_bound(bars.begin(), bars.end(), seconds,
                          [](const Bar& bar, std::int64_t time) { return bar.time < time; });
}

// `total` * part / whole without overflow, rounded down; part <= whole.
std::uint64_t Share(std::uint64_t total, int part, int whole) {
  const auto p = static_cast<std::uint64_t>(part), w = static_cast<std::uint64_t>(whole);
  return total / w * p + total % w * p / w;
}

// The minute bar forming at `now_ms`: the path points passed by then.
Bar PartialMinute(const SymbolSpec& spec, const Bar& loaded, const Bar* previous, std::int64_t now_ms) {
  Tick ticks[kPathTicks];
  const int count = PathTicks(spec, loaded, previous, ticks);
  int passed = 0;
  while (passed < count && ticks[passed].time_msc <= now_ms) ++passed;
  if (passed == count) return loaded;
  Bar bar;
  bar.time = loaded.time;
  for (int j = 0; j < passed; ++j) Accumulate(&bar, ticks[j]);
  bar.tick_volume = std::max<std::uint64_t>(1, Share(loaded.tick_volume, passed, count));
  bar.real_volume = Share(loaded.real_volume, passed, count);
  return bar;
}

}  // namespace

const Bar* History::BarAt(std::int64_t minute) const {
  const auto it = FirstFrom(minutes, minute);
  return it != minutes.end() && FloorDiv(it->time, 60) == minute ? &*it : nullptr;
}

std::vector<Tick>::const_iterator History::TicksFrom(std::int64_t ms) const {
  return std::lower_bound(ticks.begin(), ticks.end(), ms,
                          [](const Tick& tick, std::int64_t time) { return tick.time_msc < time; });
}

std::int64_t History::NextBarMinute(std::int64_t minute) const {
  const auto it = FirstFrom(minutes, minute);
  return it == minutes.end() ? INT64_MAX : FloorDiv(it->time, 60);
}

std::int64_t History::LastBarMinute(std::int64_t minute) const {
  const auto it = minute == INT64_MAX ? minutes.end() : FirstFrom(minutes, minute + 1);
  return it == minutes.begin() ? kNoMinute : FloorDiv(std::prev(it)->time, 60);
}

int PathTicks(const SymbolSpec& spec, const Bar& bar, const Bar* previous, Tick out[kPathTicks]) {
  const bool rising = bar.close >= bar.open;
  const std::int64_t points[kPathTicks] = {bar.open, rising ? bar.low : bar.high, rising ? bar.high : bar.low,
                                           bar.close};
  int count = 0;
  std::int64_t offsets[kPathTicks];
  for (int j = 0; j < kPathTicks; ++j) {
    if (j > 0 && points[j] == out[count - 1].bid) continue;
    out[count].bid = points[j];
    offsets[count++] = kPathOffsetsMs[j];
  }
  std::int64_t bid = previous != nullptr ? previous->close : -1;
  std::int64_t ask = previous != nullptr ? previous->close + previous->spread : -1;
  for (int j = 0; j < count; ++j) {
    Tick& tick = out[j];
    tick.time_msc = bar.time * 1000 + offsets[j];
    tick.ask = tick.bid + bar.spread;
    tick.flags = (tick.bid != bid ? wire::TICK_FLAG_BID : 0U) | (tick.ask != ask ? wire::TICK_FLAG_ASK : 0U);
    tick.last = 0;
    tick.volume = 0;
    if (spec.trades) {
      tick.last = tick.bid;
      tick.volume = Share(bar.real_volume, j + 1, count) - Share(bar.real_volume, j, count);
      tick.flags |= wire::TICK_FLAG_LAST | (tick.volume != 0 ? wire::TICK_FLAG_VOLUME : 0U) |
                    (tick.bid >= bid ? wire::TICK_FLAG_BUY : wire::TICK_FLAG_SELL);
    }
    bid = tick.bid;
    ask = tick.ask;
  }
  return count;
}

void HistoryMinute(const History& history, const SymbolSpec& spec, std::int64_t minute, MinuteTicks* out) {
  out->minute = minute;
  out->count = 0;
  out->ticks = out->own.data();
  if (minute > INT64_MAX / kMinuteMs - 1 || minute < INT64_MIN / kMinuteMs) return;
  if (!history.ticks.empty()) {
    const auto first = history.TicksFrom(minute * kMinuteMs);
    const auto end = history.TicksFrom((minute + 1) * kMinuteMs);
    out->ticks = history.ticks.data() + (first - history.ticks.begin());
    out->count = static_cast<int>(end - first);  // the loader keeps the total within int
    return;
  }
  const auto it = FirstFrom(history.minutes, minute);
  if (it == history.minutes.end() || FloorDiv(it->time, 60) != minute) return;
  out->count = PathTicks(spec, *it, it == history.minutes.begin() ? nullptr : &*std::prev(it), out->own.data());
}

bool LastHistoryTick(const History& history, const SymbolSpec& spec, std::int64_t now_ms, Tick* tick) {
  if (!history.ticks.empty()) {
    const auto it = now_ms == INT64_MAX ? history.ticks.end() : history.TicksFrom(now_ms + 1);
    if (it == history.ticks.begin()) return false;
    *tick = *std::prev(it);
    return true;
  }
  const std::int64_t minute = history.LastBarMinute(FloorDiv(now_ms, kMinuteMs));
  if (minute == kNoMinute) return false;
  MinuteTicks ticks;
  HistoryMinute(history, spec, minute, &ticks);
  bool found = false;
  for (int j = 0; j < ticks.count && ticks.ticks[j].time_msc <= now_ms; ++j) {
    *tick = ticks.ticks[j];
    found = true;
  }
  return found;
}

std::int64_t ForEachHistoryBar(const History& history, const SymbolSpec& spec, std::int32_t timeframe, BarSpan span,
                               std::int64_t now_ms, const std::function<void(const Bar&)>& emit) {
  if (span.Count() == 0) return 0;
  const std::int64_t now_minute = FloorDiv(now_ms, kMinuteMs);
  const std::vector<Bar>& bars = history.minutes;
  auto it = FirstFrom(bars, FloorDiv(BarOpen(timeframe, span.first), 60));
  std::int64_t emitted = 0;
  for (std::int64_t index = span.first; index <= span.last && it != bars.end(); ++index) {
    // Bars without a minute of history are skipped in one step: years may lie between two minutes.
    if (it->time >= BarOpen(timeframe, index + 1)) index = BarIndex(timeframe, it->time);
    if (index > span.last) break;
    Bar bar;
    bar.time = BarOpen(timeframe, index);
    const std::int64_t end = BarOpen(timeframe, index + 1);
    for (; it != bars.end() && it->time < end && FloorDiv(it->time, 60) <= now_minute; ++it) {
      const Bar* previous = it == bars.begin() ? nullptr : &*std::prev(it);
      Merge(&bar, FloorDiv(it->time, 60) == now_minute ? PartialMinute(spec, *it, previous, now_ms) : *it);
    }
    if (bar.tick_volume == 0) continue;
    emit(bar);
    ++emitted;
  }
  return emitted;
}

}  // namespace vl5::terminal::market
