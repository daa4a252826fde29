#include "terminal/model/trading/trade_wire.h"

#include "terminal/base/record_builder.h"
#include "terminal/model/trading/money.h"
#include "terminal/model/trading/order_types.h"
#include "terminal/model/trading/quote.h"
#include "terminal/model/trading/retcode_text.h"
#include "src/wire/trade_records.h"

namespace vl5::terminal::trading {

namespace {

// The fields an order has whether pending or finished.
using OrderBuilder = RecordBuilder<wire::kTradeOrderFields>;

void OrderFields(OrderBuilder& r, const market::Market& market, const Order& o) {
  using F = OrderBuilder;
  r.Uint<F::At("ticket")>(o.ticket)
      .Int<F::At("time_setup")>(SecondsOf(o.setup_msc))
      .Int<F::At("time_setup_msc")>(o.setup_msc)
      .Int<F::At("time_done")>(SecondsOf(o.done_msc))
      .Int<F::At("time_done_msc")>(o.done_msc)
      .Int<F::At("time_expiration")>(o.expiration)
      .Uint<F::At("type")>(o.type)
      .Uint<F::At("type_time")>(o.type_time)
      .Uint<F::At("type_filling")>(o.type_filling)
      .Uint<F::At("state")>(o.state)
      .Uint<F::At("magic")>(o.magic)
      .Uint<F::At("position_id")>(o.position_id)
      .Uint<F::At("position_by_id")>(o.position_by_id)
      .Uint<F::At("reason")>(o.reason)
      .Real<F::At("volume_initial")>(o.volume_initial)
      .Real<F::At("volume_current")>(o.volume_current)
      .Real<F::At("price_open")>(o.price_open)
      .Real<F::At("sl")>(o.sl)
      .Real<F::At("tp")>(o.tp)
      .Real<F::At("price_stoplimit")>(o.price_stoplimit)
      .Text<F::At("symbol")>(market.spec(o.symbol).name)
      .Text<F::At("comment")>(o.comment)
      .Text<F::At("external_id")>(u"");
}

}  // namespace

Record PositionRecord(const market::Market& market, const Position& p, std::int64_t now_ms) {
  Quote quote;
  const double current = QuoteAt(market, p.symbol, now_ms, &quote) ? ClosePrice(IsBuyPosition(p), quote) : 0.0;
  using F = RecordBuilder<wire::kTradePositionFields>;
  F r(wire::kTradePositionSize);
  r.Uint<F::At("ticket")>(p.ticket)
      .Int<F::At("time")>(SecondsOf(p.time_msc))
      .Int<F::At("time_msc")>(p.time_msc)
      .Int<F::At("time_update")>(SecondsOf(p.update_msc))
      .Int<F::At("time_update_msc")>(p.update_msc)
      .Uint<F::At("type")>(p.type)
      .Uint<F::At("magic")>(p.magic)
      .Uint<F::At("identifier")>(p.ticket)
      .Uint<F::At("reason")>(p.reason)
      .Real<F::At("volume")>(p.volume)
      .Real<F::At("price_open")>(p.price_open)
      .Real<F::At("sl")>(p.sl)
      .Real<F::At("tp")>(p.tp)
      .Real<F::At("price_current")>(current)
      .Real<F::At("swap")>(p.swap)
      .Real<F::At("profit")>(FloatingProfit(market, p, now_ms))
      .Text<F::At("symbol")>(market.spec(p.symbol).name)
      .Text<F::At("comment")>(p.comment)
      .Text<F::At("external_id")>(u"");
  return r.bytes();
}

Record PendingOrderRecord(const market::Market& market, const Order& o, std::int64_t now_ms) {
  Quote quote;
  const double current = QuoteAt(market, o.symbol, now_ms, &quote) ? DealPrice(OrderTypeOf(o.type).buy(), quote) : 0.0;
  using F = OrderBuilder;
  F r(wire::kTradeOrderSize);
  OrderFields(r, market, o);
  r.Real<F::At("price_current")>(current);
  return r.bytes();
}

Record HistoryOrderRecord(const market::Market& market, const Order& o) {
  using F = OrderBuilder;
  F r(wire::kTradeOrderSize);
  OrderFields(r, market, o);
  r.Real<F::At("price_current")>(o.price_done);
  return r.bytes();
}

Record DealRecord(const Deal& d) {
  using F = RecordBuilder<wire::kTradeDealFields>;
  F r(wire::kTradeDealSize);
  r.Uint<F::At("ticket")>(d.ticket)
      .Uint<F::At("order")>(d.order)
      .Int<F::At("time")>(SecondsOf(d.time_msc))
      .Int<F::At("time_msc")>(d.time_msc)
      .Uint<F::At("type")>(d.type)
      .Uint<F::At("entry")>(d.entry)
      .Uint<F::At("magic")>(d.magic)
      .Uint<F::At("position_id")>(d.position_id)
      .Uint<F::At("reason")>(d.reason)
      .Real<F::At("volume")>(d.volume)
      .Real<F::At("price")>(d.price)
      .Real<F::At("commission")>(d.commission)
      .Real<F::At("swap")>(d.swap)
      .Real<F::At("profit")>(d.profit)
      .Real<F::At("fee")>(0.0)
      .Text<F::At("symbol")>(d.symbol)
      .Text<F::At("comment")>(d.comment)
      .Text<F::At("external_id")>(u"");
  return r.bytes();
}

Record CheckResultRecord(const CheckResult& c) {
  using F = RecordBuilder<wire::kOrderCheckResultFields>;
  F r(wire::kOrderCheckResultSize);
  r.Uint<F::At("retcode")>(c.retcode)
      .Real<F::At("balance")>(c.balance)
      .Real<F::At("equity")>(c.equity)
      .Real<F::At("profit")>(c.profit)
      .Real<F::At("margin")>(c.margin)
      .Real<F::At("margin_free")>(c.margin_free)
      .Real<F::At("margin_level")>(c.margin_level)
      .Text<F::At("comment")>(RetcodeComment(c.retcode));
  return r.bytes();
}

Record SendResultRecord(const SendResult& s) {
  using F = RecordBuilder<wire::kOrderSendResultFields>;
  F r(wire::kOrderSendResultSize);
  r.Uint<F::At("retcode")>(s.retcode)
      .Uint<F::At("deal")>(s.deal)
      .Uint<F::At("order")>(s.order)
      .Real<F::At("volume")>(s.volume)
      .Real<F::At("price")>(s.price)
      .Real<F::At("bid")>(s.bid)
      .Real<F::At("ask")>(s.ask)
      .Text<F::At("comment")>(RetcodeComment(s.retcode))
      .Uint<F::At("request_id")>(s.request_id)
      .Int<F::At("retcode_external")>(0);
  return r.bytes();
}

}  // namespace vl5::terminal::trading
