// Positions, orders, history, trade requests, margin and profit, answered by
// the logged-in account's trading engine.
//
// Every command answers -6 while no account is authorized. A ticket lookup
// that finds nothing answers -4. order_send answers -8 while trading through
// this interface is switched off; order_check still judges requests then.
// A request that the engine refuses is not a failed command: it is answered
// with status success and the refusal in the result's retcode.
#pragma once

#include "terminal/server/context.h"

namespace vl5::terminal::handlers {

using server::Context;
using server::Payload;
using server::ReplyWriter;

void PositionsTotal(Context& context, Payload& payload, ReplyWriter& reply);
void PositionsGet(Context& context, Payload& payload, ReplyWriter& reply);
void PositionsGetSymbol(Context& context, Payload& payload, ReplyWriter& reply);
void PositionsGetTicket(Context& context, Payload& payload, ReplyWriter& reply);
void OrdersTotal(Context& context, Payload& payload, ReplyWriter& reply);
void OrdersGet(Context& context, Payload& payload, ReplyWriter& reply);
void OrdersGetSymbol(Context& context, Payload& payload, ReplyWriter& reply);
void OrdersGetTicket(Context& context, Payload& payload, ReplyWriter& reply);
void HistoryOrdersTotal(Context& context, Payload& payload, ReplyWriter& reply);
void HistoryOrdersGet(Context& context, Payload& payload, ReplyWriter& reply);
void HistoryOrdersGetPosition(Context& context, Payload& payload, ReplyWriter& reply);
void HistoryOrdersGetTicket(Context& context, Payload& payload, ReplyWriter& reply);
void HistoryDealsTotal(Context& context, Payload& payload, ReplyWriter& reply);
void HistoryDealsGet(Context& context, Payload& payload, ReplyWriter& reply);
void HistoryDealsGetPosition(Context& context, Payload& payload, ReplyWriter& reply);
void HistoryDealsGetTicket(Context& context, Payload& payload, ReplyWriter& reply);
void OrderCheck(Context& context, Payload& payload, ReplyWriter& reply);
void OrderSend(Context& context, Payload& payload, ReplyWriter& reply);
void OrderCalcMargin(Context& context, Payload& payload, ReplyWriter& reply);
void OrderCalcProfit(Context& context, Payload& payload, ReplyWriter& reply);

}  // namespace vl5::terminal::handlers
