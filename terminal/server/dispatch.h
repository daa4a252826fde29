// The command table: which handler answers which request.
#pragma once

#include <cstddef>
#include <cstdint>

#include "terminal/server/context.h"

namespace vl5::terminal::server {

// Answers one request with exactly one reply: the handler's, status -1 for a
// command this terminal does not serve, or the failure reply of a handler
// that threw (see CallHandler).
void Dispatch(Context& context, std::uint32_t command, const std::uint8_t* payload, std::size_t size,
              ReplyWriter& reply);

// The handler of a command, or null.
Handler FindHandler(std::uint32_t command);

}  // namespace vl5::terminal::server
