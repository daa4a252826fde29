#include "terminal/model/market/generated_prices.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>

#include "src/wire/market_codes.h"
#include "terminal/base/calendar.h"
#include "terminal/base/hash.h"
#include "terminal/model/market/active_minutes.h"
#include "terminal/model/market/bars.h"
#include "terminal/model/market/ticks.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kMinuteMs = 60000;
// Tags that keep the hash streams of different uses apart.
constexpr std::uint64_t kTagPhase = 0x7068617365ULL;
constexpr std::uint64_t kTagMinute = 0x6D696E757465ULL;
// Changes whenever the generator produces other ticks for the same seed.
constexpr std::uint64_t kGeneratorVersion = 2;  // 2: no ticks outside the trading hours

std::uint64_t Bits(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

double Smooth(double f) { return f * f * (3.0 - 2.0 * f); }

// std::floor for values well inside the 64-bit range, without a library call.
std::int64_t Floor(double v) {
  const auto t = static_cast<std::int64_t>(v);
  return static_cast<double>(t) > v ? t - 1 : t;
}

double Lattice(std::uint64_t stream, int octave, std::int64_t cell) {
  return Signed(Hash(stream, static_cast<std::uint64_t>(octave), static_cast<std::uint64_t>(cell)));
}

}  // namespace

struct GeneratedPrices::MinuteCache {
  std::mutex mutex;
  std::shared_ptr<const MinuteTicks> last;
};

// Consecutive minutes share anchors and lattice values, which keeps a
// million bars fast.
class GeneratedPrices::Walker final : public MinuteWalk {
 public:
  explicit Walker(const GeneratedPrices& prices) : prices_(prices) {}
  void Fill(std::int64_t minute, MinuteTicks* out) override;

 private:
  struct Octave {
    std::int64_t cell = INT64_MIN;
    double left = 0.0;
    double right = 0.0;
    double rise = 0.0;  // right - left
  };
  double Anchor(std::int64_t minute);
  void Enter(int octave, std::int64_t cell);

  const GeneratedPrices& prices_;
  Octave octaves_[kOctaves];
  double next_anchor_ = 0.0;  // anchor at the end of the last generated minute
  std::int64_t next_anchor_minute_ = 0;
  bool have_next_anchor_ = false;
  bool have_previous_ = false;
  std::int64_t previous_bid_ = 0;  // of the last tick generated, for the change flags
  std::int64_t previous_ask_ = 0;
};

GeneratedPrices::GeneratedPrices(const SymbolSpec& spec, std::uint64_t seed)
    : spec_(&spec),
      stream_(Hash(seed, HashName(spec.name.data(), spec.name.size()))),
      first_minute_(FloorDiv(spec.history_start, 60)),
      minute_cache_(std::make_unique<MinuteCache>()) {
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

GeneratedPrices::~GeneratedPrices() = default;

std::uint64_t GeneratedPrices::Fingerprint() const {
  const SymbolSpec& s = *spec_;
  std::uint64_t h = Hash(stream_, kGeneratorVersion);
  for (std::uint64_t part : {Bits(s.base_price), Bits(s.daily_volatility), static_cast<std::uint64_t>(s.digits),
                             static_cast<std::uint64_t>(s.spread_points), static_cast<std::uint64_t>(s.spread_range),
                             static_cast<std::uint64_t>(s.activity), static_cast<std::uint64_t>(s.trades),
                             static_cast<std::uint64_t>(s.history_start)}) {
    h = Hash(h, part);
  }
  for (const OpenWindow& window : s.hours.windows()) {
    h = Hash(h, static_cast<std::uint64_t>(window.open), static_cast<std::uint64_t>(window.close));
  }
  // The same windows in another zone are other hours (no zone: UTC, as before zones).
  if (const TimeZone* zone = s.hours.zone(); zone != nullptr && !s.hours.always_open()) {
    h = Hash(h, zone->fingerprint());
  }
  return h;
}

std::unique_ptr<MinuteWalk> GeneratedPrices::Walk() const { return std::make_unique<Walker>(*this); }

std::int64_t GeneratedPrices::NextActiveMinute(std::int64_t minute) const {
  return spec_->hours.NextOpen(std::max(minute, first_minute_));
}

std::int64_t GeneratedPrices::LastActiveMinute(std::int64_t minute) const {
  if (minute < first_minute_) return kNoMinute;
  const std::int64_t open = spec_->hours.PreviousOpen(minute);
  return open < first_minute_ ? kNoMinute : open;
}

std::int64_t GeneratedPrices::ScanTicks(std::int64_t from_ms, std::int64_t to_ms, TickFilter filter, std::int64_t limit,
                                        const std::function<void(const Tick&)>& visit) const {
  // A symbol without trades generates no trade ticks anywhere: skip the walk.
  if (filter == TickFilter::kTrade && !spec_->trades) return 0;
  return WalkTicks(*this, from_ms, to_ms, filter, limit, visit);
}

std::shared_ptr<const MinuteTicks> GeneratedPrices::Minute(std::int64_t minute) const {
  {
    std::lock_guard<std::mutex> lock(minute_cache_->mutex);
    if (minute_cache_->last != nullptr && minute_cache_->last->minute == minute) return minute_cache_->last;
  }
  auto fresh = std::make_shared<MinuteTicks>();
  TickWalker walker(*this, minute);
  *fresh = walker.Next();
  std::lock_guard<std::mutex> lock(minute_cache_->mutex);
  minute_cache_->last = fresh;
  return fresh;
}

bool GeneratedPrices::LastTick(std::int64_t now_ms, Tick* tick) const {
  // Between hours the last tick is the one before the close.
  const std::int64_t minute = LastActiveMinute(FloorDiv(now_ms, kMinuteMs));
  if (minute == kNoMinute) return false;
  const std::shared_ptr<const MinuteTicks> ticks = Minute(minute);
  bool found = false;
  for (int j = 0; j < ticks->count && ticks->ticks[static_cast<std::size_t>(j)].time_msc <= now_ms; ++j) {
    *tick = ticks->ticks[static_cast<std::size_t>(j)];
    found = true;
  }
  return found;
}

std::int64_t GeneratedPrices::ForEachBar(const PricePath& path, DayCache* days, std::int32_t timeframe, BarSpan span,
                                         std::int64_t now_ms, const std::function<void(const Bar&)>& emit) const {
  return ForEachBarFromTicks(path, days, timeframe, span, now_ms, emit);
}

// Log of the anchor relative to the base price, summed over the octaves;
// lattice values are kept while the walk stays in their cell.
double GeneratedPrices::Walker::Anchor(std::int64_t minute) {
  double noise = 0.0;
  for (int i = 0; i < kOctaves; ++i) {
    const std::int64_t x = minute + prices_.phase_[i];
    Octave& octave = octaves_[i];
    if ((x >> i) != octave.cell) Enter(i, x >> i);
    const double f = Smooth(static_cast<double>(x & ((std::int64_t{1} << i) - 1)) * prices_.inverse_period_[i]);
    noise += prices_.amplitude_[i] * (octave.left + octave.rise * f);
  }
  return prices_.spec_->base_price * std::exp(noise);
}

// Rare for all but the fastest octaves: a walk moves on one cell at a time.
void GeneratedPrices::Walker::Enter(int i, std::int64_t cell) {
  Octave& octave = octaves_[i];
  octave.left = cell == octave.cell + 1 ? octave.right : Lattice(prices_.stream_, i, cell);
  octave.right = Lattice(prices_.stream_, i, cell + 1);
  octave.rise = octave.right - octave.left;
  octave.cell = cell;
}

void GeneratedPrices::Walker::Fill(std::int64_t minute, MinuteTicks* out) {
  out->minute = minute;
  out->count = 0;
  out->ticks = out->own.data();
  if (minute < prices_.first_minute_ || !prices_.spec_->hours.Open(minute)) {
    have_previous_ = false;  // the first quote after a close carries every flag
    return;
  }
  const SymbolSpec& spec = *prices_.spec_;
  const double open = have_next_anchor_ && next_anchor_minute_ == minute ? next_anchor_ : Anchor(minute);
  const double close = Anchor(minute + 1);
  next_anchor_ = close;
  next_anchor_minute_ = minute + 1;
  have_next_anchor_ = true;

  const std::uint64_t h = Hash(prices_.stream_, kTagMinute, static_cast<std::uint64_t>(minute));
  const int count = 1 + 2 * static_cast<int>(h % static_cast<std::uint64_t>(spec.activity));
  const std::int64_t slot = kMinuteMs / count;
  // The remainders below are of 32-bit values: 32-bit division gives the same.
  const auto slot32 = static_cast<std::uint32_t>(slot);
  const auto spreads = static_cast<std::uint32_t>(spec.spread_range + 1);
  const double scale = spec.Scale();
  for (int j = 0; j < count; ++j) {
    // Two hashes per tick; their bit fields are independent enough for
    // timing, spread, jitter and trade side.
    const std::uint64_t r1 = Mix(h + static_cast<std::uint64_t>(j) * 0x9E3779B97F4A7C15ULL);
    const std::uint64_t r2 = Mix(r1);
    const std::int64_t offset =
        j * slot + (j == 0 ? 0 : static_cast<std::int64_t>(static_cast<std::uint32_t>(r1) % slot32));
    const double tau = static_cast<double>(offset) / static_cast<double>(kMinuteMs);
    const double mid = (open + (close - open) * tau) * (1.0 + prices_.jitter_ * Signed(r2));
    const std::uint64_t parity = (static_cast<std::uint64_t>(minute) + static_cast<std::uint64_t>(j)) & 1U;
    const std::int64_t spread = spec.spread_points +
                                2 * static_cast<std::int64_t>(static_cast<std::uint32_t>(r1 >> 32) % spreads) +
                                static_cast<std::int64_t>(parity);

    Tick& tick = out->own[static_cast<std::size_t>(j)];
    tick.time_msc = minute * kMinuteMs + offset;
    tick.bid = Floor(mid * scale - static_cast<double>(spread) / 2.0 + 0.5);
    tick.ask = tick.bid + spread;
    tick.flags = 0;
    if (!have_previous_ || tick.bid != previous_bid_) tick.flags |= wire::TICK_FLAG_BID;
    if (!have_previous_ || tick.ask != previous_ask_) tick.flags |= wire::TICK_FLAG_ASK;
    tick.last = 0;
    tick.volume = 0;
    if (spec.trades) {
      const bool buy = (r2 & 1U) != 0;
      tick.last = buy ? tick.ask : tick.bid;
      tick.volume = 1 + ((r2 >> 1) & 0x3FF) % 500;
      tick.flags |= wire::TICK_FLAG_LAST | wire::TICK_FLAG_VOLUME | (buy ? wire::TICK_FLAG_BUY : wire::TICK_FLAG_SELL);
    }
    previous_bid_ = tick.bid;
    previous_ask_ = tick.ask;
    have_previous_ = true;
  }
  out->count = count;
}

}  // namespace vl5::terminal::market
