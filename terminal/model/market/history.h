// A symbol's history loaded from files (history_files.h): its bars of one
// size (M1, H1 or D1) exactly as given, and, beside minute bars, its ticks
// when a tick file came with them. A loaded symbol has no synthetic prices
// at all. Its bars of the file's size and of every longer timeframe merge
// the loaded bars; its ticks are the loaded ones or, without a tick file, a
// fixed path through each bar (PathTicks), and bars shorter than the file's
// are those these ticks make. The history is immutable once loaded and
// shared by the symbol's loaded prices (loaded_prices.h), so it is held once.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "terminal/model/market/bars.h"

namespace vl5::terminal::market {

struct History {
  std::int32_t timeframe = 1;  // minutes a bar spans: 1 (M1), 60 (H1) or 1440 (D1)
  std::vector<Bar> bars;       // opening times strictly increasing, each the start of its period
  std::vector<Tick> ticks;     // ordered by time; empty: every bar follows its path

  // The first loaded tick at or after `ms`.
  std::vector<Tick>::const_iterator TicksFrom(std::int64_t ms) const;
};

// Loaded histories by symbol name; symbols not named keep synthetic prices.
using Histories = std::map<std::u16string, std::shared_ptr<const History>>;

// Most ticks the path of one bar holds.
inline constexpr int kPathTicks = 4;

// When the path of a bar passes its open, first extreme, second extreme and
// close, in Unix milliseconds.
using PathTimes = std::array<std::int64_t, kPathTicks>;

// The path of a minute bar: seconds 0, 20, 40 and 59 of its minute.
PathTimes MinutePath(const Bar& bar);

// The path of a bar of `minutes` minutes, spread over those of its minutes
// that `open` says are open (all of them when none is): point j of the four
// lies in open minute (j * (N - 1)) / 3 of the N, at second 0, 20, 40 or 59
// as it is the first, second, third or fourth point in that minute. A
// one-minute bar so keeps MinutePath, and every minute holding a point
// holds one at its very first millisecond.
PathTimes SpreadPath(const Bar& bar, std::int64_t minutes, const std::function<bool(std::int64_t)>& open);

// The ticks of a bar when no tick file was loaded: its open, then its low
// and its high (the other way round when the bar closed below its open),
// then its close, at `times`; a point at the price of the one before is
// left out. Every tick quotes the bar's spread above the bid. On an
// exchange symbol every tick is also a trade at the bid, and the bar's real
// volume is split over them. `previous` is the bar before (nullptr: none),
// for the change flags of the first tick. Returns how many ticks were written.
int PathTicks(const SymbolSpec& spec, const Bar& bar, const Bar* previous, const PathTimes& times,
              Tick out[kPathTicks]);
// The same for a minute bar (MinutePath).
int PathTicks(const SymbolSpec& spec, const Bar& bar, const Bar* previous, Tick out[kPathTicks]);

// A history as one symbol serves it: where each bar's path lies (the bar's
// open minutes are those of the symbol's trading hours, or, for a symbol
// with `hours_from_data`, the bar's whole span), and the bars and ticks of
// every query.
class HistoryPaths {
 public:
  // `history` holds at least one bar; `spec` outlives the paths.
  HistoryPaths(const SymbolSpec& spec, std::shared_ptr<const History> history);

  const History& history() const { return *history_; }
  const SymbolSpec& spec() const { return *spec_; }
  // The first minute holding a bar or tick, and the first after them all:
  // the loaded data spans [FirstMinute(), EndMinute()).
  std::int64_t FirstMinute() const { return first_minute_; }
  std::int64_t EndMinute() const { return end_minute_; }
  // Whether `minute` lies in the span of a loaded bar.
  bool InBar(std::int64_t minute) const;

  // The first minute holding a tick of a bar's path at or after `minute`
  // (INT64_MAX: none), and the last at or before it (kNoMinute: none).
  std::int64_t NextActiveMinute(std::int64_t minute) const;
  std::int64_t LastActiveMinute(std::int64_t minute) const;
  // The ticks of `minute`: the loaded ones, or those of the bar paths in it.
  void Minute(std::int64_t minute, MinuteTicks* out) const;
  // The last tick at or before `now_ms`; false before the first.
  bool LastTick(std::int64_t now_ms, Tick* tick) const;

  // The bars of `span` (indexes of `timeframe`) that exist by `now_ms`,
  // oldest first, each emitted when it holds one. Timeframes as long as the
  // file's or longer merge the loaded bars; the loaded bar forming at
  // `now_ms` holds the points of its path passed by then (complete, it is
  // the loaded bar exactly). Shorter timeframes hold the points of the
  // paths, each carrying an equal share of its bar's tick and real volume
  // (at least one tick). Returns the number emitted.
  std::int64_t ForEachBar(std::int32_t timeframe, BarSpan span, std::int64_t now_ms,
                          const std::function<void(const Bar&)>& emit) const;

 private:
  // The ticks of bar `i`'s path; their count.
  int TicksOf(std::size_t i, Tick out[kPathTicks]) const;
  // The points of bar `i`'s path as one-tick bars with their volume shares.
  int PiecesOf(std::size_t i, Bar out[kPathTicks]) const;
  // The first bar whose span ends after `seconds`.
  std::size_t FirstEndingAfter(std::int64_t seconds) const;

  const SymbolSpec* spec_;
  std::shared_ptr<const History> history_;
  std::int64_t bar_seconds_;
  std::vector<PathTimes> times_;  // by bar, for bars longer than a minute
  std::int64_t first_minute_;
  std::int64_t end_minute_;
};

}  // namespace vl5::terminal::market
