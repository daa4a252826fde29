// terminal64's own control requests: the stepped clock of a backtest. The
// module never sends them; velmora5.sim does. Each answers the clock's moment
// (int64 Unix milliseconds) once it has moved, or an error status and no
// change: -7 when the clock is not stepped, -2 for a moment before the clock
// or past its bound, -4 for an unknown symbol or no bar ahead.
#pragma once

#include "terminal/server/context.h"

namespace vl5::terminal::handlers {

using server::Context;
using server::Payload;
using server::ReplyWriter;

void ClockNow(Context& context, Payload& payload, ReplyWriter& reply);
void ClockAdvanceTo(Context& context, Payload& payload, ReplyWriter& reply);
void ClockNextBar(Context& context, Payload& payload, ReplyWriter& reply);

}  // namespace vl5::terminal::handlers
