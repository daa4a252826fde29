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
#include <memory>
#include <tuple>
#include <utility>

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

class KeptBars {
 public:
  // 8 KB a chunk: 16 MB in all, a quarter million bars of any timeframes.
  static constexpr std::size_t kDefaultChunks = 2048;

  // At most `chunks` chunks (at least one) are kept.
  explicit KeptBars(std::size_t chunks = kDefaultChunks) : chunks_(chunks) {}

  std::size_t capacity() const { return chunks_.capacity(); }
  // How many chunks are kept now.
  std::size_t size() const { return chunks_.size(); }

  // Chunk `number` of `owner`'s bars of `timeframe`, now the most recently
  // used; nullptr when not kept. Thread-safe, as is Keep.
  std::shared_ptr<const BarChunk> Find(const void* owner, std::int32_t timeframe, std::int64_t number) {
    return chunks_.Find({owner, timeframe, number});
  }
  // Keeps it, dropping the least recently used chunk when over the budget.
  void Keep(const void* owner, std::int32_t timeframe, std::int64_t number, std::shared_ptr<const BarChunk> chunk) {
    chunks_.Keep({owner, timeframe, number}, std::move(chunk));
  }

 private:
  LruCache<std::tuple<const void*, std::int32_t, std::int64_t>, BarChunk> chunks_;
};

}  // namespace vl5::terminal::market
