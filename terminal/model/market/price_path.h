// The price path of one symbol: deterministic ticks generated on demand.
//
// The mid price at each minute boundary (the "anchor") is the symbol's base
// price times exp(multi-octave value noise), so prices wander like a market
// but stay bounded over decades. Inside a minute the ticks interpolate
// between the two anchors with a little hashed jitter. Tick times are hashed
// too, one tick in each of k equal slots, the first at the minute's start, so
// every minute has ticks and the ticks of a minute come out ordered.
//
// The spread alternates parity from tick to tick (k is odd, so this holds
// across minute boundaries too): two consecutive ticks never carry the same
// quote, and every tick has a bid or ask change to flag.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <memory>

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

struct History;

class PricePath {
 public:
  // With a `history`, the path serves it instead of generated prices.
  PricePath(const SymbolSpec& spec, std::uint64_t seed, std::shared_ptr<const History> history = nullptr);

  const SymbolSpec& spec() const { return *spec_; }
  const History* history() const { return history_.get(); }
  std::int64_t first_minute() const { return first_minute_; }

  // The ticks of one minute, flagged against the minute before. The minute
  // last asked for is kept, since quotes ask for the current one again and
  // again. Thread-safe.
  std::shared_ptr<const MinuteTicks> Minute(std::int64_t minute) const;

  // Names everything the ticks depend on: the seed, the symbol's parameters
  // and the version of the generator. Saved bars carry it.
  std::uint64_t Fingerprint() const;

 private:
  friend class TickWalker;
  static constexpr int kOctaves = 22;  // periods of 1 minute to 2^21 minutes (4 years)

  const SymbolSpec* spec_;
  std::shared_ptr<const History> history_;
  std::uint64_t stream_;       // seed and symbol name hashed together
  std::int64_t first_minute_;  // no ticks before the symbol's history starts
  double amplitude_[kOctaves];
  double inverse_period_[kOctaves];  // exact: the periods are powers of two
  std::int64_t phase_[kOctaves];
  double jitter_;  // relative size of the in-minute noise

  struct MinuteCache;
  std::shared_ptr<MinuteCache> minute_cache_;
};

// Walks the minutes of one path forwards, one minute at a time. Consecutive
// minutes share anchors and lattice values, which keeps a million bars fast.
class TickWalker {
 public:
  // The first call of Next() yields `minute`; minutes before the history
  // start yield no ticks.
  TickWalker(const PricePath& path, std::int64_t minute);

  const MinuteTicks& Next();
  // The next minute that holds ticks, no later than `last_minute`; nullptr
  // when there is none. Closed markets and gaps in a loaded history are
  // skipped in one step, since years may lie between two minutes.
  const MinuteTicks* NextWithTicks(std::int64_t last_minute);

 private:
  struct Octave {
    std::int64_t cell = INT64_MIN;
    double left = 0.0;
    double right = 0.0;
    double rise = 0.0;  // right - left
  };
  double Anchor(std::int64_t minute);
  void Enter(int octave, std::int64_t cell);
  void Generate(std::int64_t minute, MinuteTicks* out);

  const PricePath& path_;
  std::int64_t minute_;
  Octave octaves_[PricePath::kOctaves];
  double next_anchor_ = 0.0;  // anchor at the end of the last generated minute
  std::int64_t next_anchor_minute_ = 0;
  bool have_next_anchor_ = false;
  bool have_previous_ = false;
  std::int64_t previous_bid_ = 0;  // of the last tick generated, for the change flags
  std::int64_t previous_ask_ = 0;
  MinuteTicks current_;
};

}  // namespace vl5::terminal::market
