#include "terminal/market/symbol_record.h"

#include <algorithm>
#include <string>

#include "terminal/core/record_builder.h"
#include "terminal/market/calendar.h"
#include "terminal/market/ticks.h"
#include "src/wire/market_codes.h"
#include "src/wire/records.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kDayMs = 86400 * 1000;

// What happened today, from 00:00 UTC to the terminal clock.
struct Session {
  Tick current;
  bool has_current = false;
  std::int64_t previous_close = 0;  // bid of the last tick before today; 0 if none
  std::int64_t open = 0;
  std::int64_t bid_high = 0, bid_low = 0, ask_high = 0, ask_low = 0, last_high = 0, last_low = 0;
  std::uint64_t volume_high = 0, volume_low = 0, volume = 0, deals = 0;
  double turnover = 0.0;
};

Session TodayOf(const PricePath& path, std::int64_t now_ms) {
  Session s;
  const std::int64_t day_start = FloorDiv(now_ms, kDayMs) * kDayMs;
  Tick before;
  if (LastTick(path, day_start - 1, &before)) s.previous_close = before.bid;
  const double contract = path.spec().contract_size;
  const double scale = path.spec().Scale();
  ScanTicks(path, day_start, now_ms, TickFilter::kAll, INT64_MAX, [&](const Tick& t) {
    if (!s.has_current) {
      s.open = s.bid_high = s.bid_low = t.bid;
      s.ask_high = s.ask_low = t.ask;
      s.last_high = s.last_low = t.last;
      s.volume_high = s.volume_low = t.volume;
    }
    s.has_current = true;
    s.current = t;
    s.bid_high = std::max(s.bid_high, t.bid);
    s.bid_low = std::min(s.bid_low, t.bid);
    s.ask_high = std::max(s.ask_high, t.ask);
    s.ask_low = std::min(s.ask_low, t.ask);
    if (t.volume != 0) {
      s.last_high = std::max(s.last_high, t.last);
      s.last_low = std::min(s.last_low, t.last);
      s.volume_high = std::max(s.volume_high, t.volume);
      s.volume_low = std::min(s.volume_low, t.volume);
      s.volume += t.volume;
      s.turnover += static_cast<double>(t.volume) * static_cast<double>(t.last) / scale * contract;
      ++s.deals;
    }
  });
  return s;
}

void Describe(RecordBuilder& r, const SymbolSpec& spec, bool selected) {
  r.Bool("custom", false).Int("chart_mode", wire::SYMBOL_CHART_MODE_BID).Bool("select", selected)
      .Bool("visible", selected).Int("digits", spec.digits).Bool("spread_float", true)
      .Int("ticks_bookdepth", spec.book_depth).Int("trade_calc_mode", spec.calc_mode)
      .Int("trade_mode", spec.trade_mode).Int("trade_stops_level", spec.stops_level)
      .Int("trade_freeze_level", spec.freeze_level).Int("trade_exemode", spec.execution_mode)
      .Int("swap_mode", spec.swap_mode).Int("swap_rollover3days", spec.swap_rollover3days)
      .Bool("margin_hedged_use_leg", false).Int("expiration_mode", spec.expiration_mode)
      .Int("filling_mode", spec.filling_mode).Int("order_mode", spec.order_mode)
      .Real("point", spec.Point()).Real("trade_tick_size", spec.Point())
      .Real("trade_contract_size", spec.contract_size).Real("volume_min", spec.volume_min)
      .Real("volume_max", spec.volume_max).Real("volume_step", spec.volume_step)
      .Real("volume_limit", spec.volume_limit).Real("swap_long", spec.swap_long)
      .Real("swap_short", spec.swap_short).Real("margin_initial", spec.margin_initial)
      .Real("margin_maintenance", spec.margin_maintenance).Real("margin_hedged", spec.margin_hedged)
      .Text("category", spec.category).Text("currency_base", spec.currency_base)
      .Text("currency_profit", spec.currency_profit).Text("currency_margin", spec.currency_margin)
      .Text("description", spec.description).Text("exchange", spec.exchange).Text("isin", spec.isin)
      .Text("name", spec.name).Text("path", spec.path);
}

void Quote(RecordBuilder& r, const SymbolSpec& spec, const Session& s) {
  if (!s.has_current) return;
  const Tick& t = s.current;
  auto price = [&](std::int64_t points) { return spec.Price(points); };
  r.Int("time", FloorDiv(t.time_msc, 1000)).Int("spread", t.ask - t.bid)
      .Real("bid", price(t.bid)).Real("bidhigh", price(s.bid_high)).Real("bidlow", price(s.bid_low))
      .Real("ask", price(t.ask)).Real("askhigh", price(s.ask_high)).Real("asklow", price(s.ask_low))
      .Real("session_open", price(s.open)).Real("session_close", price(s.previous_close));
  if (s.previous_close != 0) {
    r.Real("price_change", 100.0 * static_cast<double>(t.bid - s.previous_close) /
                               static_cast<double>(s.previous_close));
  }
  if (!spec.trades) return;
  r.Real("last", price(t.last)).Real("lasthigh", price(s.last_high)).Real("lastlow", price(s.last_low))
      .Uint("volume", t.volume).Uint("volumehigh", s.volume_high).Uint("volumelow", s.volume_low)
      .Real("volume_real", static_cast<double>(t.volume))
      .Real("volumehigh_real", static_cast<double>(s.volume_high))
      .Real("volumelow_real", static_cast<double>(s.volume_low)).Uint("session_deals", s.deals)
      .Real("session_volume", static_cast<double>(s.volume)).Real("session_turnover", s.turnover);
  if (s.volume != 0) {
    r.Real("session_aw", s.turnover / (static_cast<double>(s.volume) * spec.contract_size));
  }
}

}  // namespace

double DollarsPerUnit(const Market& market, std::u16string_view currency, std::int64_t now_ms) {
  if (currency == u"USD") return 1.0;
  Tick tick;
  const std::u16string name(currency);
  if (auto index = market.Find(u"USD" + name); index && LastTick(market.path(*index), now_ms, &tick)) {
    return 1.0 / market.spec(*index).Price(tick.bid);
  }
  if (auto index = market.Find(name + u"USD"); index && LastTick(market.path(*index), now_ms, &tick)) {
    return market.spec(*index).Price(tick.bid);
  }
  return 1.0;
}

std::vector<std::uint8_t> BuildSymbolRecord(const Market& market, std::size_t index, const SymbolState& state,
                                            int* misses) {
  const SymbolSpec& spec = market.spec(index);
  RecordBuilder record(wire::kSymbolInfoFields, wire::kSymbolInfoSize);
  Describe(record, spec, state.selected);
  Quote(record, spec, TodayOf(market.path(index), state.now_ms));
  const double tick_value =
      spec.Point() * spec.contract_size * DollarsPerUnit(market, spec.currency_profit, state.now_ms);
  record.Real("trade_tick_value", tick_value)
      .Real("trade_tick_value_profit", tick_value)
      .Real("trade_tick_value_loss", tick_value);
  if (misses != nullptr) *misses = record.misses();
  return record.bytes();
}

}  // namespace vl5::terminal::market
