// The one exception boundary of a request: whatever a handler throws ends
// that request, not the connection or the terminal.
#pragma once

#include <cstdint>

#include "terminal/server/context.h"

namespace vl5::terminal::server {

// Calls `handler` for a request of `command`. An exception it throws becomes
// the request's failure reply: status -3 (out of memory) for std::bad_alloc,
// -1 for any other. A handler that had already begun its reply cannot finish
// it honestly; the stream is then unusable and the connection is dropped.
void CallHandler(Handler handler, std::uint32_t command, Context& context, Payload& payload,
                 ReplyWriter& reply) noexcept;

}  // namespace vl5::terminal::server
