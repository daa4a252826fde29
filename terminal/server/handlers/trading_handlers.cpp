#include "terminal/server/handlers/trading_handlers.h"

#include <cstring>
#include <string>
#include <vector>

#include "terminal/model/trading/engine.h"
#include "terminal/model/trading/queries.h"
#include "src/wire/status.h"
#include "src/wire/trade_records.h"

namespace vl5::terminal::handlers {

namespace {

using trading::Record;
using trading::Selection;
using By = Selection::By;
using trading::Query;

enum class Answer { kCount, kList, kSingle };

// The request fields of each selection: nothing, a symbol, an id, or a range.
bool ReadSelection(Payload& payload, Selection* s) {
  bool ok = true;
  switch (s->by) {
    case By::kAll:
      break;
    case By::kSymbol:
      ok = payload.String(&s->symbol);
      break;
    case By::kTicket:
    case By::kPosition:
      ok = payload.U64(&s->id);
      break;
    case By::kRange:
      ok = payload.I64(&s->from) && payload.I64(&s->to);
      break;
  }
  return ok && payload.AtEnd();
}

void ReplyList(ReplyWriter& reply, const std::vector<Record>& records, std::uint32_t size) {
  if (!reply.Begin(wire::kSuccess, 4 + std::uint64_t{size} * records.size())) return;
  reply.PutU32(static_cast<std::uint32_t>(records.size()));
  for (const Record& record : records) reply.Put(record.data(), size);
  reply.End();
}

// Records are built (or only counted) under the terminal's lock and written
// after it is released.
void Select(Context& context, Payload& payload, ReplyWriter& reply, const Query& query, By by, Answer answer,
            std::uint32_t size) {
  Selection selection;
  selection.by = by;
  if (!ReadSelection(payload, &selection)) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  std::vector<Record> records;
  std::size_t count = 0;
  if (!context.terminal.Trade(context.now_ms, [&](trading::Engine& engine) {
        if (answer == Answer::kCount) {
          count = query.count(engine.desk(), selection);
        } else {
          records = query.records(engine.desk(), selection);
        }
      })) {
    reply.Status(wire::kAuthorizationFailed);
    return;
  }
  switch (answer) {
    case Answer::kCount:
      reply.Value(wire::kSuccess, static_cast<std::uint32_t>(count));
      break;
    case Answer::kSingle:
      if (records.empty()) {
        reply.Status(wire::kNotFound);
      } else {
        reply.Record(wire::kSuccess, records.front(), size);
      }
      break;
    case Answer::kList:
      ReplyList(reply, records, size);
      break;
  }
}

bool ReadTradeRequest(Payload& payload, trading::TradeRequest* request) {
  std::uint8_t bytes[wire::kTradeRequestSize];
  if (!payload.Bytes(bytes, sizeof(bytes)) || !payload.AtEnd()) return false;
  *request = trading::DecodeTradeRequest(bytes);
  return true;
}

// Margin and profit: an order type, a symbol, then `count` doubles; the
// answer is one double.
template <typename Calc>
void Calculate(Context& context, Payload& payload, ReplyWriter& reply, std::size_t count, Calc calc) {
  std::uint32_t type = 0;
  std::u16string symbol;
  double values[3] = {0.0, 0.0, 0.0};
  bool ok = payload.U32(&type) && payload.String(&symbol);
  for (std::size_t i = 0; ok && i < count; ++i) ok = payload.F64(&values[i]);
  if (!ok || !payload.AtEnd()) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  double result = 0.0;
  std::int32_t status = wire::kSuccess;
  if (!context.terminal.Trade(context.now_ms,
                              [&](trading::Engine& engine) { status = calc(engine, type, symbol, values, &result); })) {
    reply.Status(wire::kAuthorizationFailed);
    return;
  }
  if (status < 0) {
    reply.Status(status);
    return;
  }
  std::vector<std::uint8_t> bytes(sizeof(result));
  std::memcpy(bytes.data(), &result, sizeof(result));
  reply.Record(status, bytes, bytes.size());
}

}  // namespace

void PositionsTotal(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kOpenPositions, By::kAll, Answer::kCount, 0);
}
void PositionsGet(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kOpenPositions, By::kAll, Answer::kList, wire::kTradePositionSize);
}
void PositionsGetSymbol(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kOpenPositions, By::kSymbol, Answer::kList, wire::kTradePositionSize);
}
void PositionsGetTicket(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kOpenPositions, By::kTicket, Answer::kSingle, wire::kTradePositionSize);
}
void OrdersTotal(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kPendingOrders, By::kAll, Answer::kCount, 0);
}
void OrdersGet(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kPendingOrders, By::kAll, Answer::kList, wire::kTradeOrderSize);
}
void OrdersGetSymbol(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kPendingOrders, By::kSymbol, Answer::kList, wire::kTradeOrderSize);
}
void OrdersGetTicket(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kPendingOrders, By::kTicket, Answer::kSingle, wire::kTradeOrderSize);
}
void HistoryOrdersTotal(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kHistoryOrders, By::kRange, Answer::kCount, 0);
}
void HistoryOrdersGet(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kHistoryOrders, By::kRange, Answer::kList, wire::kTradeOrderSize);
}
void HistoryOrdersGetPosition(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kHistoryOrders, By::kPosition, Answer::kList, wire::kTradeOrderSize);
}
void HistoryOrdersGetTicket(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kHistoryOrders, By::kTicket, Answer::kSingle, wire::kTradeOrderSize);
}
void HistoryDealsTotal(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kDeals, By::kRange, Answer::kCount, 0);
}
void HistoryDealsGet(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kDeals, By::kRange, Answer::kList, wire::kTradeDealSize);
}
void HistoryDealsGetPosition(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kDeals, By::kPosition, Answer::kList, wire::kTradeDealSize);
}
void HistoryDealsGetTicket(Context& c, Payload& p, ReplyWriter& r) {
  Select(c, p, r, trading::kDeals, By::kTicket, Answer::kSingle, wire::kTradeDealSize);
}

void OrderCheck(Context& context, Payload& payload, ReplyWriter& reply) {
  trading::TradeRequest request;
  if (!ReadTradeRequest(payload, &request)) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  trading::CheckResult result;
  if (!context.terminal.Trade(context.now_ms, [&](trading::Engine& engine) { result = engine.Check(request); })) {
    reply.Status(wire::kAuthorizationFailed);
    return;
  }
  reply.Record(wire::kSuccess, trading::CheckResultRecord(result), wire::kOrderCheckResultSize);
}

void OrderSend(Context& context, Payload& payload, ReplyWriter& reply) {
  trading::TradeRequest request;
  if (!ReadTradeRequest(payload, &request)) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  const Settings& settings = context.terminal.settings();
  if (settings.tradeapi_disabled) {
    reply.Status(wire::kAutoTradingDisabled);
    return;
  }
  // A market deal fills after the account's latency: a running clock is
  // waited for, a stepped one fills at a later tick without moving.
  const std::int64_t fill_ms = context.terminal.FillMoment(context.now_ms, request);
  std::int64_t trade_ms = context.now_ms;
  if (fill_ms > context.now_ms && !context.terminal.stepped()) {
    context.terminal.WaitForClock(fill_ms);
    trade_ms = fill_ms;
  }
  trading::SendResult result;
  const bool ok = context.terminal.Trade(trade_ms, [&](trading::Engine& engine) {
    if (settings.trade_allowed) {
      result = engine.Send(request, context.now_ms, fill_ms);
    } else {
      result.retcode = wire::TRADE_RETCODE_CLIENT_DISABLES_AT;
    }
  });
  if (!ok) {
    reply.Status(wire::kAuthorizationFailed);
    return;
  }
  result.request_id = context.terminal.NextRequestId();
  reply.Record(wire::kSuccess, trading::SendResultRecord(result), wire::kOrderSendResultSize);
}

void OrderCalcMargin(Context& context, Payload& payload, ReplyWriter& reply) {
  Calculate(context, payload, reply, 2,
            [](trading::Engine& engine, std::uint32_t type, const std::u16string& symbol, const double* v,
               double* out) { return engine.CalcMargin(type, symbol, v[0], v[1], out); });
}

void OrderCalcProfit(Context& context, Payload& payload, ReplyWriter& reply) {
  Calculate(context, payload, reply, 3,
            [](trading::Engine& engine, std::uint32_t type, const std::u16string& symbol, const double* v,
               double* out) { return engine.CalcProfit(type, symbol, v[0], v[1], v[2], out); });
}

}  // namespace vl5::terminal::handlers
