#include "terminal/model/market/wire_records.h"

#include "terminal/base/calendar.h"
#include "src/wire/records.h"

namespace vl5::terminal::market {

namespace {

constexpr std::uint32_t Offset(const wire::Field* field) { return field->offset; }

template <std::size_t N>
constexpr std::uint32_t RateOffset(const char (&name)[N]) {
  return Offset(wire::FindField(wire::kRateFields, name));
}
template <std::size_t N>
constexpr std::uint32_t TickOffset(const char (&name)[N]) {
  return Offset(wire::FindField(wire::kTickFields, name));
}

}  // namespace

void WriteRateRecord(const SymbolSpec& spec, const Bar& bar, std::uint8_t* out) {
  constexpr std::uint32_t kTime = RateOffset("time"), kOpen = RateOffset("open"), kHigh = RateOffset("high"),
                          kLow = RateOffset("low"), kClose = RateOffset("close"),
                          kTickVolume = RateOffset("tick_volume"), kSpread = RateOffset("spread"),
                          kRealVolume = RateOffset("real_volume");
  wire::Store(out, kTime, bar.time);
  wire::Store(out, kOpen, spec.Price(bar.open));
  wire::Store(out, kHigh, spec.Price(bar.high));
  wire::Store(out, kLow, spec.Price(bar.low));
  wire::Store(out, kClose, spec.Price(bar.close));
  wire::Store(out, kTickVolume, bar.tick_volume);
  wire::Store(out, kSpread, bar.spread);
  wire::Store(out, kRealVolume, bar.real_volume);
}

void WriteTickRecord(const SymbolSpec& spec, const Tick& tick, std::uint8_t* out) {
  constexpr std::uint32_t kTime = TickOffset("time"), kBid = TickOffset("bid"), kAsk = TickOffset("ask"),
                          kLast = TickOffset("last"), kVolume = TickOffset("volume"), kTimeMsc = TickOffset("time_msc"),
                          kFlags = TickOffset("flags"), kVolumeReal = TickOffset("volume_real");
  wire::Store(out, kTime, FloorDiv(tick.time_msc, 1000));
  wire::Store(out, kBid, spec.Price(tick.bid));
  wire::Store(out, kAsk, spec.Price(tick.ask));
  wire::Store(out, kLast, tick.last == 0 ? 0.0 : spec.Price(tick.last));
  wire::Store(out, kVolume, tick.volume);
  wire::Store(out, kTimeMsc, tick.time_msc);
  wire::Store(out, kFlags, tick.flags);
  wire::Store(out, kVolumeReal, static_cast<double>(tick.volume));
}

}  // namespace vl5::terminal::market
