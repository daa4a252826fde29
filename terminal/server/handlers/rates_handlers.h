// Tick and bar queries. Replies are streamed record by record; their length
// is known before the first record is generated (bars are counted from the
// calendar, ticks by a first pass over the same window).
#pragma once

#include "terminal/server/context.h"

namespace vl5::terminal::handlers {

using server::Context;
using server::Payload;
using server::ReplyWriter;

void CopyTicksFrom(Context& context, Payload& payload, ReplyWriter& reply);
void CopyTicksRange(Context& context, Payload& payload, ReplyWriter& reply);
void CopyRatesFrom(Context& context, Payload& payload, ReplyWriter& reply);
void CopyRatesRange(Context& context, Payload& payload, ReplyWriter& reply);
void CopyRatesFromPos(Context& context, Payload& payload, ReplyWriter& reply);

}  // namespace vl5::terminal::handlers
