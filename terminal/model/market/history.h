// A symbol's history loaded from files (history_files.h): its minute bars
// exactly as given, and its ticks when a tick file came with them. A loaded
// symbol has no synthetic prices at all: its bars of every timeframe merge
// these minute bars, and its ticks are the loaded ones or, without a tick
// file, a fixed path through each bar (PathTicks). Immutable once loaded and
// shared by the symbol's loaded prices (loaded_prices.h), so it is held once.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "terminal/model/market/bars.h"

namespace vl5::terminal::market {

struct History {
  std::vector<Bar> minutes;  // M1 bars, opening times strictly increasing
  std::vector<Tick> ticks;   // ordered by time; empty: every bar follows its path

  // The bar opening in `minute`; nullptr when there is none.
  const Bar* BarAt(std::int64_t minute) const;
  // Minutes of the first bar at or after / the last bar at or before
  // `minute`; INT64_MAX / kNoMinute (active_minutes.h) when there is none.
  std::int64_t NextBarMinute(std::int64_t minute) const;
  std::int64_t LastBarMinute(std::int64_t minute) const;
  // The first loaded tick at or after `ms`.
  std::vector<Tick>::const_iterator TicksFrom(std::int64_t ms) const;
};

// Loaded histories by symbol name; symbols not named keep synthetic prices.
using Histories = std::map<std::u16string, std::shared_ptr<const History>>;

// Most ticks a minute of PathTicks holds.
inline constexpr int kPathTicks = 4;

// The ticks of a bar when no tick file was loaded: its open at second 0,
// then its low at second 20 and its high at second 40 (the other way round
// when the bar closed below its open), its close at second 59; a point at
// the price of the one before is left out. Every tick quotes the bar's
// spread above the bid. On an exchange symbol every tick is also a trade at
// the bid, and the bar's real volume is split over them. `previous` is the
// bar before (nullptr: none), for the change flags of the first tick.
// Returns how many ticks were written.
int PathTicks(const SymbolSpec& spec, const Bar& bar, const Bar* previous, Tick out[kPathTicks]);

// The ticks of `minute`: the loaded ones, or the path of its bar.
void HistoryMinute(const History& history, const SymbolSpec& spec, std::int64_t minute, MinuteTicks* out);

// The last tick at or before `now_ms`; false before the first.
bool LastHistoryTick(const History& history, const SymbolSpec& spec, std::int64_t now_ms, Tick* tick);

// The bars of `span` (indexes of `timeframe`) merged from the minute bars
// that opened by `now_ms`, oldest first, each emitted when it holds one.
// The minute bar forming at `now_ms` holds the points of its path passed by
// then, with its tick and real volume in proportion; complete, it is the
// loaded bar exactly. Returns the number emitted.
std::int64_t ForEachHistoryBar(const History& history, const SymbolSpec& spec, std::int32_t timeframe, BarSpan span,
                               std::int64_t now_ms, const std::function<void(const Bar&)>& emit);

}  // namespace vl5::terminal::market
