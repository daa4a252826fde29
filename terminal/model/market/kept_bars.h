// Completed bars of recently asked timeframes, kept for every symbol of the
// market together within one budget of chunks (runs of consecutive bar
// indexes of one timeframe): the least recently used chunk goes first,
// whichever symbol and timeframe it belongs to. A completed bar never
// changes, whatever the clock does later, so a kept one is served as is.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <tuple>

#include "terminal/model/market/bars.h"
#include "terminal/model/market/lru_cache.h"

namespace vl5::terminal::market {

inline constexpr std::int64_t kChunkBars = 128;

// The bars of indexes [number * kChunkBars, (number + 1) * kChunkBars) that
// are known; a known bar without ticks does not exist (is never served).
struct BarChunk {
  std::array<Bar, kChunkBars> bars;
  std::bitset<kChunkBars> known;
};

// 8 KB a chunk: 16 MB in all, a quarter million bars of any timeframes.
inline constexpr std::size_t kKeptBarChunks = 2048;

// Chunks by owner (a symbol's bar cache), timeframe and chunk number.
using KeptBars = LruCache<std::tuple<const void*, std::int32_t, std::int64_t>, BarChunk>;

}  // namespace vl5::terminal::market
