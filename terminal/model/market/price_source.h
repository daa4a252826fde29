// Where a symbol's prices come from: generated on demand
// (generated_prices.h) or loaded from the user's history files
// (loaded_prices.h). Everything that reads prices asks its symbol's source
// through this interface and never which kind it is.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace vl5::terminal::market {

struct Bar;
struct BarSpan;
struct History;
struct MinuteTicks;
struct SymbolSpec;
struct Tick;
class DayCache;
class PricePath;
enum class TickFilter;

// Fills the ticks of one minute after another, in increasing order; the
// first tick of a minute is flagged against the last tick filled before.
class MinuteWalk {
 public:
  virtual ~MinuteWalk() = default;
  virtual void Fill(std::int64_t minute, MinuteTicks* out) = 0;
};

class PriceSource {
 public:
  virtual ~PriceSource() = default;

  // No tick lies before this minute.
  virtual std::int64_t FirstMinute() const = 0;
  // Names everything the prices depend on; saved daily bars carry it.
  virtual std::uint64_t Fingerprint() const = 0;
  // Whether its daily bars are kept for later terminals (day_store.h):
  // worth it where a day's bar costs a walk over its every minute.
  virtual bool KeepsDays() const = 0;

  // Whether the symbol of `spec` trades at `minute`: the one answer every
  // trade request, trigger and stop-out asks. By default its trading hours.
  virtual bool Open(const SymbolSpec& spec, std::int64_t minute) const;

  virtual std::unique_ptr<MinuteWalk> Walk() const = 0;
  // The first minute with a bar at or after `minute` (INT64_MAX: none), the
  // last at or before it (kNoMinute: none), and the first holding a tick at
  // or after it, for walks that skip closed markets and gaps.
  virtual std::int64_t NextActiveMinute(std::int64_t minute) const = 0;
  virtual std::int64_t LastActiveMinute(std::int64_t minute) const = 0;
  virtual std::int64_t NextTickMinute(std::int64_t minute) const = 0;

  // As ScanTicks and LastTick (ticks.h), for from_ms <= to_ms and limit > 0.
  virtual std::int64_t ScanTicks(std::int64_t from_ms, std::int64_t to_ms, TickFilter filter, std::int64_t limit,
                                 const std::function<void(const Tick&)>& visit) const = 0;
  virtual bool LastTick(std::int64_t now_ms, Tick* tick) const = 0;
  // As ForEachBar (bars.h) for the `path` this source serves, for a span
  // holding bars.
  virtual std::int64_t ForEachBar(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                                  std::int64_t now_ms, const std::function<void(const Bar&)>& emit) const = 0;
};

// The loaded `history` when there is one, else generated prices from `seed`.
// `spec` outlives the source.
std::unique_ptr<const PriceSource> MakePriceSource(const SymbolSpec& spec, std::uint64_t seed,
                                                   std::shared_ptr<const History> history);

}  // namespace vl5::terminal::market
