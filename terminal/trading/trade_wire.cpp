#include "terminal/trading/trade_wire.h"

#include "terminal/core/record_builder.h"
#include "terminal/trading/money.h"
#include "terminal/trading/quote.h"
#include "terminal/trading/retcode_text.h"
#include "src/wire/trade_records.h"

namespace vl5::terminal::trading {

namespace {

Record Finish(const RecordBuilder& r, int* misses) {
  if (misses != nullptr) *misses = r.misses();
  return r.bytes();
}

// The fields an order has whether pending or finished.
void OrderFields(RecordBuilder& r, const market::Market& market, const Order& o) {
  r.Uint("ticket", o.ticket).Int("time_setup", SecondsOf(o.setup_msc)).Int("time_setup_msc", o.setup_msc)
      .Int("time_done", SecondsOf(o.done_msc)).Int("time_done_msc", o.done_msc).Int("time_expiration", o.expiration)
      .Uint("type", o.type).Uint("type_time", o.type_time).Uint("type_filling", o.type_filling)
      .Uint("state", o.state).Uint("magic", o.magic).Uint("position_id", o.position_id)
      .Uint("position_by_id", o.position_by_id).Uint("reason", o.reason).Real("volume_initial", o.volume_initial)
      .Real("volume_current", o.volume_current).Real("price_open", o.price_open).Real("sl", o.sl).Real("tp", o.tp)
      .Real("price_stoplimit", o.price_stoplimit).Text("symbol", market.spec(o.symbol).name)
      .Text("comment", o.comment).Text("external_id", u"");
}

}  // namespace

Record PositionRecord(const market::Market& market, const Position& p, std::int64_t now_ms, int* misses) {
  Quote quote;
  const double current = QuoteAt(market, p.symbol, now_ms, &quote) ? ClosePrice(IsBuyPosition(p), quote) : 0.0;
  RecordBuilder r(wire::kTradePositionFields, wire::kTradePositionSize);
  r.Uint("ticket", p.ticket).Int("time", SecondsOf(p.time_msc)).Int("time_msc", p.time_msc)
      .Int("time_update", SecondsOf(p.update_msc)).Int("time_update_msc", p.update_msc).Uint("type", p.type)
      .Uint("magic", p.magic).Uint("identifier", p.ticket).Uint("reason", p.reason).Real("volume", p.volume)
      .Real("price_open", p.price_open).Real("sl", p.sl).Real("tp", p.tp).Real("price_current", current)
      .Real("swap", 0.0).Real("profit", FloatingProfit(market, p, now_ms)).Text("symbol", market.spec(p.symbol).name)
      .Text("comment", p.comment).Text("external_id", u"");
  return Finish(r, misses);
}

Record PendingOrderRecord(const market::Market& market, const Order& o, std::int64_t now_ms, int* misses) {
  Quote quote;
  const double current = QuoteAt(market, o.symbol, now_ms, &quote) ? DealPrice(IsBuy(o.type), quote) : 0.0;
  RecordBuilder r(wire::kTradeOrderFields, wire::kTradeOrderSize);
  OrderFields(r, market, o);
  r.Real("price_current", current);
  return Finish(r, misses);
}

Record HistoryOrderRecord(const market::Market& market, const Order& o, int* misses) {
  RecordBuilder r(wire::kTradeOrderFields, wire::kTradeOrderSize);
  OrderFields(r, market, o);
  r.Real("price_current", o.price_done);
  return Finish(r, misses);
}

Record DealRecord(const Deal& d, int* misses) {
  RecordBuilder r(wire::kTradeDealFields, wire::kTradeDealSize);
  r.Uint("ticket", d.ticket).Uint("order", d.order).Int("time", SecondsOf(d.time_msc)).Int("time_msc", d.time_msc)
      .Uint("type", d.type).Uint("entry", d.entry).Uint("magic", d.magic).Uint("position_id", d.position_id)
      .Uint("reason", d.reason).Real("volume", d.volume).Real("price", d.price).Real("commission", 0.0)
      .Real("swap", 0.0).Real("profit", d.profit).Real("fee", 0.0).Text("symbol", d.symbol)
      .Text("comment", d.comment).Text("external_id", u"");
  return Finish(r, misses);
}

Record CheckResultRecord(const CheckResult& c, int* misses) {
  RecordBuilder r(wire::kOrderCheckResultFields, wire::kOrderCheckResultSize);
  r.Uint("retcode", c.retcode).Real("balance", c.balance).Real("equity", c.equity).Real("profit", c.profit)
      .Real("margin", c.margin).Real("margin_free", c.margin_free).Real("margin_level", c.margin_level)
      .Text("comment", RetcodeComment(c.retcode));
  return Finish(r, misses);
}

Record SendResultRecord(const SendResult& s, int* misses) {
  RecordBuilder r(wire::kOrderSendResultFields, wire::kOrderSendResultSize);
  r.Uint("retcode", s.retcode).Uint("deal", s.deal).Uint("order", s.order).Real("volume", s.volume)
      .Real("price", s.price).Real("bid", s.bid).Real("ask", s.ask).Text("comment", RetcodeComment(s.retcode))
      .Uint("request_id", s.request_id).Int("retcode_external", 0);
  return Finish(r, misses);
}

}  // namespace vl5::terminal::trading
