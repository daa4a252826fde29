#include "terminal/model/market/symbol_record.h"

#include <algorithm>
#include <climits>
#include <string>

#include "terminal/base/record_builder.h"
#include "terminal/base/calendar.h"
#include "terminal/model/market/ticks.h"
#include "src/wire/market_codes.h"
#include "src/wire/records.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kDayMs = 86400 * 1000;

// The trading day of the last quote, from its 00:00 UTC to the terminal
// clock: today while the market trades, the day of the last close while it
// is shut, so the record's quote is the one the tick record gives.
struct TradingDay {
  Tick current;
  bool has_current = false;
  std::int64_t previous_close = 0;  // bid of the last tick before today; 0 if none
  std::int64_t open = 0;
  std::int64_t bid_high = 0, bid_low = 0, ask_high = 0, ask_low = 0, last_high = 0, last_low = 0;
  std::uint64_t volume_high = 0, volume_low = 0, volume = 0, deals = 0;
  double turnover = 0.0;
};

TradingDay TodayOf(const PricePath& path, std::int64_t now_ms) {
  TradingDay s;
  Tick last;
  if (!LastTick(path, now_ms, &last)) return s;
  const std::int64_t day_start = FloorDiv(last.time_msc, kDayMs) * kDayMs;
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
      // A day may hold more loaded ticks than their bounded volumes can sum.
      s.volume = t.volume > UINT64_MAX - s.volume ? UINT64_MAX : s.volume + t.volume;
      s.turnover += static_cast<double>(t.volume) * static_cast<double>(t.last) / scale * contract;
      ++s.deals;
    }
  });
  return s;
}

using F = RecordBuilder<wire::kSymbolInfoFields>;

void Describe(F& r, const SymbolSpec& spec, bool selected) {
  r.Bool<F::At("custom")>(spec.custom)
      .Int<F::At("chart_mode")>(wire::SYMBOL_CHART_MODE_BID)
      .Bool<F::At("select")>(selected)
      .Bool<F::At("visible")>(selected)
      .Int<F::At("digits")>(spec.digits)
      .Bool<F::At("spread_float")>(true)
      .Int<F::At("ticks_bookdepth")>(spec.book_depth)
      .Int<F::At("trade_calc_mode")>(spec.calc_mode)
      .Int<F::At("trade_mode")>(spec.trade_mode)
      .Int<F::At("trade_stops_level")>(spec.stops_level)
      .Int<F::At("trade_freeze_level")>(spec.freeze_level)
      .Int<F::At("trade_exemode")>(spec.execution_mode)
      .Int<F::At("swap_mode")>(spec.swap_mode)
      .Int<F::At("swap_rollover3days")>(spec.swap_rollover3days)
      .Bool<F::At("margin_hedged_use_leg")>(false)
      .Int<F::At("expiration_mode")>(spec.expiration_mode)
      .Int<F::At("filling_mode")>(spec.filling_mode)
      .Int<F::At("order_mode")>(spec.order_mode)
      .Real<F::At("point")>(spec.Point())
      .Real<F::At("trade_tick_size")>(spec.Point())
      .Real<F::At("trade_contract_size")>(spec.contract_size)
      .Real<F::At("volume_min")>(spec.volume_min)
      .Real<F::At("volume_max")>(spec.volume_max)
      .Real<F::At("volume_step")>(spec.volume_step)
      .Real<F::At("volume_limit")>(spec.volume_limit)
      .Real<F::At("swap_long")>(spec.swap_long)
      .Real<F::At("swap_short")>(spec.swap_short)
      .Real<F::At("margin_initial")>(spec.margin_initial)
      .Real<F::At("margin_maintenance")>(spec.margin_maintenance)
      .Real<F::At("margin_hedged")>(spec.margin_hedged)
      .Text<F::At("category")>(spec.category)
      .Text<F::At("currency_base")>(spec.currency_base)
      .Text<F::At("currency_profit")>(spec.currency_profit)
      .Text<F::At("currency_margin")>(spec.currency_margin)
      .Text<F::At("description")>(spec.description)
      .Text<F::At("exchange")>(spec.exchange)
      .Text<F::At("isin")>(spec.isin)
      .Text<F::At("name")>(spec.name)
      .Text<F::At("path")>(spec.path);
}

void Quote(F& r, const SymbolSpec& spec, const TradingDay& s) {
  if (!s.has_current) return;
  const Tick& t = s.current;
  auto price = [&](std::int64_t points) { return spec.Price(points); };
  r.Int<F::At("time")>(FloorDiv(t.time_msc, 1000))
      .Int<F::At("spread")>(t.ask - t.bid)
      .Real<F::At("bid")>(price(t.bid))
      .Real<F::At("bidhigh")>(price(s.bid_high))
      .Real<F::At("bidlow")>(price(s.bid_low))
      .Real<F::At("ask")>(price(t.ask))
      .Real<F::At("askhigh")>(price(s.ask_high))
      .Real<F::At("asklow")>(price(s.ask_low))
      .Real<F::At("session_open")>(price(s.open))
      .Real<F::At("session_close")>(price(s.previous_close));
  if (s.previous_close != 0) {
    r.Real<F::At("price_change")>(100.0 * static_cast<double>(t.bid - s.previous_close) /
                                  static_cast<double>(s.previous_close));
  }
  if (!spec.trades) return;
  r.Real<F::At("last")>(price(t.last))
      .Real<F::At("lasthigh")>(price(s.last_high))
      .Real<F::At("lastlow")>(price(s.last_low))
      .Uint<F::At("volume")>(t.volume)
      .Uint<F::At("volumehigh")>(s.volume_high)
      .Uint<F::At("volumelow")>(s.volume_low)
      .Real<F::At("volume_real")>(static_cast<double>(t.volume))
      .Real<F::At("volumehigh_real")>(static_cast<double>(s.volume_high))
      .Real<F::At("volumelow_real")>(static_cast<double>(s.volume_low))
      .Uint<F::At("session_deals")>(s.deals)
      .Real<F::At("session_volume")>(static_cast<double>(s.volume))
      .Real<F::At("session_turnover")>(s.turnover);
  if (s.volume != 0) {
    r.Real<F::At("session_aw")>(s.turnover / (static_cast<double>(s.volume) * spec.contract_size));
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

std::vector<std::uint8_t> BuildSymbolRecord(const Market& market, std::size_t index, const SymbolState& state) {
  const SymbolSpec& spec = market.spec(index);
  F record(wire::kSymbolInfoSize);
  Describe(record, spec, state.selected);
  Quote(record, spec, TodayOf(market.path(index), state.now_ms));
  const double tick_value =
      spec.Point() * spec.contract_size * DollarsPerUnit(market, spec.currency_profit, state.now_ms);
  record.Real<F::At("trade_tick_value")>(tick_value)
      .Real<F::At("trade_tick_value_profit")>(tick_value)
      .Real<F::At("trade_tick_value_loss")>(tick_value);
  return record.bytes();
}

}  // namespace vl5::terminal::market
