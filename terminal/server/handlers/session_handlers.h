// Session commands: hello, login, state poll, version.
#pragma once

#include "terminal/server/context.h"

namespace vl5::terminal::handlers {

using server::Context;
using server::Payload;
using server::ReplyWriter;

void Hello(Context& context, Payload& payload, ReplyWriter& reply);
void Login(Context& context, Payload& payload, ReplyWriter& reply);
void State(Context& context, Payload& payload, ReplyWriter& reply);
void Version(Context& context, Payload& payload, ReplyWriter& reply);

}  // namespace vl5::terminal::handlers
