// terminal_info and account_info.
#pragma once

#include "terminal/server/context.h"

namespace vl5::terminal::handlers {

using server::Context;
using server::Payload;
using server::ReplyWriter;

void TerminalInfo(Context& context, Payload& payload, ReplyWriter& reply);
// -6 (authorization failed) while no account is logged in.
void AccountInfo(Context& context, Payload& payload, ReplyWriter& reply);

}  // namespace vl5::terminal::handlers
