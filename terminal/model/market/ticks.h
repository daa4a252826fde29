// Tick queries over the price path: ticks in a time window, filtered by the
// copy mode, oldest first, from the symbol's price source; nothing is stored.
#pragma once

#include <cstdint>
#include <functional>

#include "terminal/model/market/price_path.h"

namespace vl5::terminal::market {

enum class TickFilter { kAll, kInfo, kTrade };

// COPY_TICKS_ALL (or any negative value, or INFO and TRADE together),
// COPY_TICKS_INFO, COPY_TICKS_TRADE; false for anything else.
bool ParseCopyFlags(std::int32_t flags, TickFilter* filter);
bool Passes(const Tick& tick, TickFilter filter);

// Visits the ticks with from_ms <= time_msc <= to_ms that pass the filter,
// oldest first, stopping after `limit` of them; returns how many it visited.
std::int64_t ScanTicks(const PricePath& path, std::int64_t from_ms, std::int64_t to_ms, TickFilter filter,
                       std::int64_t limit, const std::function<void(const Tick&)>& visit);

// ScanTicks by walking the source's minutes, for from_ms <= to_ms and
// limit > 0: how sources that make ticks minute by minute scan them.
std::int64_t WalkTicks(const PriceSource& source, std::int64_t from_ms, std::int64_t to_ms, TickFilter filter,
                       std::int64_t limit, const std::function<void(const Tick&)>& visit);

// The last tick at or before `now_ms`; false before the history starts.
bool LastTick(const PricePath& path, std::int64_t now_ms, Tick* tick);

}  // namespace vl5::terminal::market
