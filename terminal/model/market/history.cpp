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

// `total` * part / whole without overflow, rounded down; part <= whole.
std::uint64_t Share(std::uint64_t total, int part, int whole) {
  const auto p = static_cast<std::uint64_t>(part), w = static_cast<std::uint64_t>(whole);
  return total / w * p + total % w * p / w;
}

// Saturated: a minute near the ends of the 64-bit range has no seconds.
std::int64_t SecondsOf(std::int64_t minute) {
  return minute > INT64_MAX / 60 ? INT64_MAX : minute < INT64_MIN / 60 ? INT64_MIN : minute * 60;
}

// The first bar opening at or after `seconds`.
std::vector<Bar>::const_iterator FirstFrom(const std::vector<Bar>& bars, std::int64_t seconds) {
  return std::lower_bound(bars.begin(), bars.end(), seconds,
                          [](const Bar& bar, std::int64_t time) { return bar.time < time; });
}

}  // namespace

std::vector<Tick>::const_iterator History::TicksFrom(std::int64_t ms) const {
  return std::lower_bound(ticks.begin(), ticks.end(), ms,
                          [](const Tick& tick, std::int64_t time) { return tick.time_msc < time; });
}

PathTimes MinutePath(const Bar& bar) {
  PathTimes times;
  for (int j = 0; j < kPathTicks; ++j) times[j] = bar.time * 1000 + kPathOffsetsMs[j];
  return times;
}

PathTimes SpreadPath(const Bar& bar, std::int64_t minutes, const std::function<bool(std::int64_t)>& open) {
  const std::int64_t first = FloorDiv(bar.time, 60);
  std::int64_t count = 0;
  for (std::int64_t m = first; m < first + minutes; ++m) count += open(m) ? 1 : 0;
  const bool all = count == 0;
  if (all) count = minutes;
  // Open minute index of each point, then the minutes themselves in one pass.
  std::int64_t at[kPathTicks];
  for (int j = 0; j < kPathTicks; ++j) at[j] = j * (count - 1) / 3;
  PathTimes times;
  int j = 0, rank = 0;
  std::int64_t seen = 0;
  for (std::int64_t m = first; m < first + minutes && j < kPathTicks; ++m) {
    if (!all && !open(m)) continue;
    for (; j < kPathTicks && at[j] == seen; ++j) times[j] = m * kMinuteMs + kPathOffsetsMs[rank++];
    rank = 0;
    ++seen;
  }
  return times;
}

int PathTicks(const SymbolSpec& spec, const Bar& bar, const Bar* previous, const PathTimes& times,
              Tick out[kPathTicks]) {
  const bool rising = bar.close >= bar.open;
  const std::int64_t points[kPathTicks] = {bar.open, rising ? bar.low : bar.high, rising ? bar.high : bar.low,
                                           bar.close};
  int count = 0;
  std::int64_t at[kPathTicks];
  for (int j = 0; j < kPathTicks; ++j) {
    if (j > 0 && points[j] == out[count - 1].bid) continue;
    out[count].bid = points[j];
    at[count++] = times[j];
  }
  std::int64_t bid = previous != nullptr ? previous->close : -1;
  std::int64_t ask = previous != nullptr ? previous->close + previous->spread : -1;
  for (int j = 0; j < count; ++j) {
    Tick& tick = out[j];
    tick.time_msc = at[j];
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

int PathTicks(const SymbolSpec& spec, const Bar& bar, const Bar* previous, Tick out[kPathTicks]) {
  return PathTicks(spec, bar, previous, MinutePath(bar), out);
}

HistoryPaths::HistoryPaths(const SymbolSpec& spec, std::shared_ptr<const History> history)
    : spec_(&spec), history_(std::move(history)), bar_seconds_(std::int64_t{history_->timeframe} * 60) {
  const std::vector<Bar>& bars = history_->bars;
  if (history_->timeframe > 1) {
    const SymbolSpec* s = spec_;
    const auto open = [s](std::int64_t minute) { return s->hours_from_data || s->hours.Open(minute); };
    times_.reserve(bars.size());
    for (const Bar& bar : bars) times_.push_back(SpreadPath(bar, history_->timeframe, open));
  }
  first_minute_ = FloorDiv(bars.front().time, 60);
  end_minute_ = FloorDiv(bars.back().time + bar_seconds_, 60);
  // Ticks may lie outside the bars.
  if (!history_->ticks.empty()) {
    first_minute_ = std::min(first_minute_, FloorDiv(history_->ticks.front().time_msc, kMinuteMs));
    end_minute_ = std::max(end_minute_, FloorDiv(history_->ticks.back().time_msc, kMinuteMs) + 1);
  }
}

std::size_t HistoryPaths::FirstEndingAfter(std::int64_t seconds) const {
  const std::vector<Bar>& bars = history_->bars;
  const std::int64_t from = seconds < INT64_MIN + bar_seconds_ ? INT64_MIN : seconds - bar_seconds_ + 1;
  return static_cast<std::size_t>(FirstFrom(bars, from) - bars.begin());
}

bool HistoryPaths::InBar(std::int64_t minute) const {
  const std::size_t i = FirstEndingAfter(SecondsOf(minute));
  return i < history_->bars.size() && history_->bars[i].time <= SecondsOf(minute);
}

int HistoryPaths::TicksOf(std::size_t i, Tick out[kPathTicks]) const {
  const std::vector<Bar>& bars = history_->bars;
  const Bar* previous = i == 0 ? nullptr : &bars[i - 1];
  return PathTicks(*spec_, bars[i], previous, times_.empty() ? MinutePath(bars[i]) : times_[i], out);
}

int HistoryPaths::PiecesOf(std::size_t i, Bar out[kPathTicks]) const {
  const Bar& bar = history_->bars[i];
  Tick ticks[kPathTicks];
  const int count = TicksOf(i, ticks);
  for (int j = 0; j < count; ++j) {
    Bar& piece = out[j];
    piece.time = FloorDiv(ticks[j].time_msc, 1000);
    piece.open = piece.high = piece.low = piece.close = ticks[j].bid;
    piece.spread = bar.spread;
    piece.tick_volume =
        std::max<std::uint64_t>(1, Share(bar.tick_volume, j + 1, count) - Share(bar.tick_volume, j, count));
    piece.real_volume = Share(bar.real_volume, j + 1, count) - Share(bar.real_volume, j, count);
  }
  return count;
}

std::int64_t HistoryPaths::NextActiveMinute(std::int64_t minute) const {
  const std::vector<Bar>& bars = history_->bars;
  const std::size_t first = FirstEndingAfter(SecondsOf(minute));
  // A minute bar's path lies in its minute.
  if (times_.empty()) return first == bars.size() ? INT64_MAX : FloorDiv(bars[first].time, 60);
  for (std::size_t i = first; i < bars.size(); ++i) {
    Tick ticks[kPathTicks];
    const int count = TicksOf(i, ticks);
    for (int j = 0; j < count; ++j) {
      const std::int64_t at = FloorDiv(ticks[j].time_msc, kMinuteMs);
      if (at >= minute) return at;
    }
  }
  return INT64_MAX;
}

std::int64_t HistoryPaths::LastActiveMinute(std::int64_t minute) const {
  const std::vector<Bar>& bars = history_->bars;
  // Bars opening after `minute` hold no tick before it.
  std::size_t end = minute == INT64_MAX
                        ? bars.size()
                        : static_cast<std::size_t>(FirstFrom(bars, SecondsOf(minute + 1)) - bars.begin());
  if (times_.empty()) return end == 0 ? kNoMinute : FloorDiv(bars[end - 1].time, 60);
  for (; end > 0; --end) {
    Tick ticks[kPathTicks];
    for (int j = TicksOf(end - 1, ticks) - 1; j >= 0; --j) {
      const std::int64_t at = FloorDiv(ticks[j].time_msc, kMinuteMs);
      if (at <= minute) return at;
    }
  }
  return kNoMinute;
}

void HistoryPaths::Minute(std::int64_t minute, MinuteTicks* out) const {
  out->minute = minute;
  out->count = 0;
  out->ticks = out->own.data();
  if (minute > INT64_MAX / kMinuteMs - 1 || minute < INT64_MIN / kMinuteMs) return;
  if (!history_->ticks.empty()) {
    const auto first = history_->TicksFrom(minute * kMinuteMs);
    const auto end = history_->TicksFrom((minute + 1) * kMinuteMs);
    out->ticks = history_->ticks.data() + (first - history_->ticks.begin());
    out->count = static_cast<int>(end - first);  // the loader keeps the total within int
    return;
  }
  const std::size_t i = FirstEndingAfter(minute * 60);
  if (i == history_->bars.size() || history_->bars[i].time > minute * 60) return;
  Tick ticks[kPathTicks];
  const int count = TicksOf(i, ticks);
  for (int j = 0; j < count; ++j) {
    if (FloorDiv(ticks[j].time_msc, kMinuteMs) == minute) out->own[static_cast<std::size_t>(out->count++)] = ticks[j];
  }
}

bool HistoryPaths::LastTick(std::int64_t now_ms, Tick* tick) const {
  if (!history_->ticks.empty()) {
    const auto it = now_ms == INT64_MAX ? history_->ticks.end() : history_->TicksFrom(now_ms + 1);
    if (it == history_->ticks.begin()) return false;
    *tick = *std::prev(it);
    return true;
  }
  const std::int64_t minute = LastActiveMinute(FloorDiv(now_ms, kMinuteMs));
  if (minute == kNoMinute) return false;
  MinuteTicks ticks;
  Minute(minute, &ticks);
  bool found = false;
  for (int j = 0; j < ticks.count && ticks.ticks[j].time_msc <= now_ms; ++j) {
    *tick = ticks.ticks[j];
    found = true;
  }
  return found;
}

std::int64_t HistoryPaths::ForEachBar(std::int32_t timeframe, BarSpan span, std::int64_t now_ms,
                                      const std::function<void(const Bar&)>& emit) const {
  if (span.Count() == 0) return 0;
  const std::vector<Bar>& bars = history_->bars;
  const std::int64_t begin = BarOpen(timeframe, span.first);
  const std::int64_t end = BarOpen(timeframe, span.last + 1);
  const bool merged = timeframe >= history_->timeframe;  // the loaded bars nest in every longer timeframe
  Bar bar;
  std::int64_t index = 0, emitted = 0;
  bool started = false;
  const auto add = [&](const Bar& next) {
    const std::int64_t at = BarIndex(timeframe, next.time);
    if (!started || at != index) {
      if (started && bar.tick_volume != 0) {
        emit(bar);
        ++emitted;
      }
      bar = Bar{};
      bar.time = BarOpen(timeframe, at);
      index = at;
      started = true;
    }
    Merge(&bar, next);
  };
  for (std::size_t i = FirstEndingAfter(begin); i < bars.size() && bars[i].time < end; ++i) {
    Bar pieces[kPathTicks];
    const int count = PiecesOf(i, pieces);
    if (pieces[0].time * 1000 > now_ms) break;  // nor any later bar
    if (merged && pieces[count - 1].time * 1000 <= now_ms) {
      add(bars[i]);
      continue;
    }
    Bar passed;  // the bar forming at `now_ms`
    passed.time = bars[i].time;
    for (int j = 0; j < count && pieces[j].time * 1000 <= now_ms; ++j) {
      if (merged) {
        Merge(&passed, pieces[j]);
      } else if (pieces[j].time >= begin && pieces[j].time < end) {
        add(pieces[j]);
      }
    }
    if (merged) add(passed);
  }
  if (started && bar.tick_volume != 0) {
    emit(bar);
    ++emitted;
  }
  return emitted;
}

}  // namespace vl5::terminal::market
