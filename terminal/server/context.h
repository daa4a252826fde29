// What a request handler works with: the terminal, the state of the client
// that sent the request, and the terminal clock read once for the request,
// so that counting and generating a reply see the same moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>

#include "terminal/model/terminal.h"
#include "terminal/server/payload.h"
#include "terminal/server/reply.h"

namespace vl5::terminal::server {

// Per connection; touched only by that connection's thread.
struct ClientState {
  std::set<std::size_t> books;  // symbols whose depth of market this client opened
};

struct Context {
  Terminal& terminal;
  ClientState& client;
  std::int64_t now_ms;
};

// Every handler answers with exactly one reply through `reply`.
using Handler = void (*)(Context& context, Payload& payload, ReplyWriter& reply);

}  // namespace vl5::terminal::server
