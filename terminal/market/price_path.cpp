#include "terminal/market/price_path.h"

#include <cmath>

#include "terminal/market/calendar.h"
#include "terminal/market/hash.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kMinuteMs = 60000;
// Tags that keep the hash streams of different uses apart.
constexpr std::uint64_t kTagPhase = 0x7068617365ULL;
constexpr std::uint64_t kTagMinute = 0x6D696E757465ULL;

double Smooth(double f) { return f * f * (3.0 - 2.0 * f); }

double Lattice(std::uint64_t stream, int octave, std::int64_t cell) {
  return Signed(Hash(stream, static_cast<std::uint64_t>(octave), static_cast<std::uint64_t>(cell)));
}

}  // namespace

PricePath::PricePath(const SymbolSpec& spec, std::uint64_t seed)
    : spec_(&spec),
      stream_(Hash(seed, HashName(spec.name.data(), spec.name.size()))),
      first_minute_(FloorDiv(spec.history_start, 60)) {
  // Value noise whose amplitude grows with the square root of its period, as
  // a random walk's spread does; the slowest octave keeps prices bounded.
  for (int i = 0; i < kOctaves; ++i) {
    const std::int64_t period = std::int64_t{1} << i;
    inverse_period_[i] = 1.0 / static_cast<double>(period);
    amplitude_[i] = spec.daily_volatility * std::sqrt(static_cast<double>(period) / 1440.0);
    phase_[i] = static_cast<std::int64_t>(Hash(stream_, kTagPhase, static_cast<std::uint64_t>(i)) %
                                          static_cast<std::uint64_t>(period));
  }
  jitter_ = 0.35 * spec.daily_volatility / std::sqrt(1440.0);
}

TickWalker::TickWalker(const PricePath& path, std::int64_t minute) : path_(path), minute_(minute) {
  // The first tick's change flags compare with the minute before it.
  if (minute > path.first_minute_) Generate(minute - 1, &current_);
}

const MinuteTicks& TickWalker::Next() {
  Generate(minute_, &current_);
  ++minute_;
  return current_;
}

// Log of the anchor relative to the base price, summed over the octaves;
// lattice values are kept while the walk stays in their cell.
double TickWalker::Anchor(std::int64_t minute) {
  double noise = 0.0;
  for (int i = 0; i < PricePath::kOctaves; ++i) {
    const std::int64_t x = minute + path_.phase_[i];
    const std::int64_t cell = x >> i;
    Octave& octave = octaves_[i];
    if (cell != octave.cell) {
      octave.left = cell == octave.cell + 1 ? octave.right : Lattice(path_.stream_, i, cell);
      octave.right = Lattice(path_.stream_, i, cell + 1);
      octave.cell = cell;
    }
    const double f = Smooth(static_cast<double>(x & ((std::int64_t{1} << i) - 1)) * path_.inverse_period_[i]);
    noise += path_.amplitude_[i] * (octave.left + (octave.right - octave.left) * f);
  }
  return path_.spec_->base_price * std::exp(noise);
}

void TickWalker::Generate(std::int64_t minute, MinuteTicks* out) {
  out->minute = minute;
  out->count = 0;
  if (minute < path_.first_minute_) return;
  const SymbolSpec& spec = *path_.spec_;
  const double open = have_next_anchor_ && next_anchor_minute_ == minute ? next_anchor_ : Anchor(minute);
  const double close = Anchor(minute + 1);
  next_anchor_ = close;
  next_anchor_minute_ = minute + 1;
  have_next_anchor_ = true;

  const std::uint64_t h = Hash(path_.stream_, kTagMinute, static_cast<std::uint64_t>(minute));
  const int count = 1 + 2 * static_cast<int>(h % static_cast<std::uint64_t>(spec.activity));
  const std::int64_t slot = kMinuteMs / count;
  const double scale = spec.Scale();
  for (int j = 0; j < count; ++j) {
    // Two hashes per tick; their bit fields are independent enough for
    // timing, spread, jitter and trade side.
    const std::uint64_t r1 = Mix(h + static_cast<std::uint64_t>(j) * 0x9E3779B97F4A7C15ULL);
    const std::uint64_t r2 = Mix(r1);
    const std::int64_t offset =
        j * slot + (j == 0 ? 0 : static_cast<std::int64_t>((r1 & 0xFFFFFFFFULL) % static_cast<std::uint64_t>(slot)));
    const double tau = static_cast<double>(offset) / static_cast<double>(kMinuteMs);
    const double mid = (open + (close - open) * tau) * (1.0 + path_.jitter_ * Signed(r2));
    const std::uint64_t parity = (static_cast<std::uint64_t>(minute) + static_cast<std::uint64_t>(j)) & 1U;
    const std::int64_t spread =
        spec.spread_points +
        2 * static_cast<std::int64_t>((r1 >> 32) % static_cast<std::uint64_t>(spec.spread_range + 1)) +
        static_cast<std::int64_t>(parity);

    Tick& tick = out->ticks[static_cast<std::size_t>(j)];
    tick.time_msc = minute * kMinuteMs + offset;
    tick.bid = static_cast<std::int64_t>(std::floor(mid * scale - static_cast<double>(spread) / 2.0 + 0.5));
    tick.ask = tick.bid + spread;
    tick.flags = 0;
    if (!have_previous_ || tick.bid != previous_.bid) tick.flags |= wire::TICK_FLAG_BID;
    if (!have_previous_ || tick.ask != previous_.ask) tick.flags |= wire::TICK_FLAG_ASK;
    tick.last = 0;
    tick.volume = 0;
    if (spec.trades) {
      const bool buy = (r2 & 1U) != 0;
      tick.last = buy ? tick.ask : tick.bid;
      tick.volume = 1 + ((r2 >> 1) & 0x3FF) % 500;
      tick.flags |= wire::TICK_FLAG_LAST | wire::TICK_FLAG_VOLUME | (buy ? wire::TICK_FLAG_BUY : wire::TICK_FLAG_SELL);
    }
    previous_ = tick;
    have_previous_ = true;
  }
  out->count = count;
}

}  // namespace vl5::terminal::market
