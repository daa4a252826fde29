// Symbol and depth-of-market commands.
//
// Depth of market is per client: market_book_get answers -4 (not found) for
// a symbol this client has not opened with market_book_add, as the book is
// only streamed to subscribers. Releasing a book that is not open succeeds.
#pragma once

#include "terminal/server/context.h"

namespace vl5::terminal::handlers {

using server::Context;
using server::Payload;
using server::ReplyWriter;

void SymbolInfo(Context& context, Payload& payload, ReplyWriter& reply);
void SymbolSelect(Context& context, Payload& payload, ReplyWriter& reply);
void SymbolInfoTick(Context& context, Payload& payload, ReplyWriter& reply);
void SymbolsTotal(Context& context, Payload& payload, ReplyWriter& reply);
void SymbolsGet(Context& context, Payload& payload, ReplyWriter& reply);
void SymbolsGetGroup(Context& context, Payload& payload, ReplyWriter& reply);
void MarketBookAdd(Context& context, Payload& payload, ReplyWriter& reply);
void MarketBookRelease(Context& context, Payload& payload, ReplyWriter& reply);
void MarketBookGet(Context& context, Payload& payload, ReplyWriter& reply);

}  // namespace vl5::terminal::handlers
