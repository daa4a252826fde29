// The price path of one symbol: its ticks minute by minute, from its price
// source (price_source.h), generated or loaded.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "terminal/model/market/price_source.h"
#include "terminal/model/market/symbol_spec.h"

namespace vl5::terminal::market {

// One tick with prices as whole points; converted to doubles only on output.
struct Tick {
  std::int64_t time_msc = 0;
  std::int64_t bid = 0;
  std::int64_t ask = 0;
  std::int64_t last = 0;  // trades only; 0 otherwise
  std::uint64_t volume = 0;
  std::uint32_t flags = 0;
};

inline constexpr int kMaxTicksPerMinute = 31;

// The ticks of one minute: generated into `own`, or a loaded history's,
// which outlive every MinuteTicks (the history belongs to the path).
struct MinuteTicks {
  std::array<Tick, kMaxTicksPerMinute> own;
  std::int64_t minute = 0;  // Unix minutes
  int count = 0;
  const Tick* ticks = own.data();

  MinuteTicks() = default;
  MinuteTicks(const MinuteTicks& other) { *this = other; }
  MinuteTicks& operator=(const MinuteTicks& other) {
    minute = other.minute;
    count = other.count;
    own = other.own;
    ticks = other.ticks == other.own.data() ? own.data() : other.ticks;
    return *this;
  }
};

class PricePath {
 public:
  // With a `history`, the path serves it instead of generated prices.
  PricePath(const SymbolSpec& spec, std::uint64_t seed, std::shared_ptr<const History> history = nullptr);

  const SymbolSpec& spec() const { return *spec_; }
  const PriceSource& source() const { return *source_; }
  std::int64_t first_minute() const { return first_minute_; }
  std::uint64_t Fingerprint() const { return source_->Fingerprint(); }

 private:
  const SymbolSpec* spec_;
  std::unique_ptr<const PriceSource> source_;
  std::int64_t first_minute_;  // no ticks before the symbol's history starts
};

// Walks the minutes of one path forwards, one minute at a time.
class TickWalker {
 public:
  // The first call of Next() yields `minute`; minutes before the history
  // start yield no ticks.
  TickWalker(const PricePath& path, std::int64_t minute) : TickWalker(path.source(), minute) {}
  TickWalker(const PriceSource& source, std::int64_t minute);

  const MinuteTicks& Next();
  // The next minute that holds ticks, no later than `last_minute`; nullptr
  // when there is none. Closed markets and gaps in a loaded history are
  // skipped in one step, since years may lie between two minutes.
  const MinuteTicks* NextWithTicks(std::int64_t last_minute);

 private:
  const PriceSource& source_;
  std::unique_ptr<MinuteWalk> walk_;
  std::int64_t minute_;
  MinuteTicks current_;
};

}  // namespace vl5::terminal::market
