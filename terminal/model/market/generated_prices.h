// Generated prices: deterministic ticks made on demand from a seed.
//
// The mid price at each minute boundary (the "anchor") is the symbol's base
// price times exp(multi-octave value noise), so prices wander like a market
// but stay bounded over decades. Inside a minute the ticks interpolate
// between the two anchors with a little hashed jitter. Tick times are hashed
// too, one tick in each of k equal slots, the first at the minute's start, so
// every minute in the trading hours has ticks and the ticks of a minute
// come out ordered.
//
// The spread alternates parity from tick to tick (k is odd, so this holds
// across minute boundaries too): two consecutive ticks never carry the same
// quote, and every tick has a bid or ask change to flag.
#pragma once

#include <cstdint>
#include <memory>

#include "terminal/model/market/price_path.h"

namespace vl5::terminal::market {

class GeneratedPrices final : public PriceSource {
 public:
  GeneratedPrices(const SymbolSpec& spec, std::uint64_t seed);
  ~GeneratedPrices() override;

  std::int64_t FirstMinute() const override { return first_minute_; }
  std::uint64_t Fingerprint() const override;
  bool KeepsDays() const override { return true; }
  std::unique_ptr<MinuteWalk> Walk() const override;
  std::int64_t NextActiveMinute(std::int64_t minute) const override;
  std::int64_t LastActiveMinute(std::int64_t minute) const override;
  // Every open minute holds ticks.
  std::int64_t NextTickMinute(std::int64_t minute) const override { return NextActiveMinute(minute); }
  std::int64_t ScanTicks(std::int64_t from_ms, std::int64_t to_ms, TickFilter filter, std::int64_t limit,
                         const std::function<void(const Tick&)>& visit) const override;
  bool LastTick(std::int64_t now_ms, Tick* tick) const override;
  std::int64_t ForEachBar(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                          std::int64_t now_ms, const std::function<void(const Bar&)>& emit) const override;

 private:
  class Walker;
  static constexpr int kOctaves = 22;  // periods of 1 minute to 2^21 minutes (4 years)

  // The ticks of one minute, flagged against the minute before. The minute
  // last asked for is kept, since quotes ask for the current one again and
  // again. Thread-safe.
  std::shared_ptr<const MinuteTicks> Minute(std::int64_t minute) const;

  const SymbolSpec* spec_;
  std::uint64_t stream_;       // seed and symbol name hashed together
  std::int64_t first_minute_;  // no ticks before the symbol's history starts
  double amplitude_[kOctaves];
  double inverse_period_[kOctaves];  // exact: the periods are powers of two
  std::int64_t phase_[kOctaves];
  double jitter_;  // relative size of the in-minute noise

  struct MinuteCache;
  std::unique_ptr<MinuteCache> minute_cache_;
};

}  // namespace vl5::terminal::market
