// One client's conversation: read a request frame, answer it, repeat, until
// the client leaves or breaks the framing. Runs on the client's own thread.
#pragma once

#include <cstdint>
#include <vector>

#include "terminal/model/terminal.h"
#include "terminal/server/context.h"
#include "terminal/server/limits.h"
#include "terminal/server/reply.h"
#include "src/link/os/os.h"

namespace vl5::terminal::server {

// Returns when the client is gone, breaks the framing (see RequestReader),
// sends nothing within `limits.request_ms` of connecting, does not complete a
// request it began within `limits.request_ms`, or stops taking its reply for
// `limits.reply_stall_ms`; the caller closes the pipe. A client that has
// spoken may wait as long as it likes between requests.
void ServeClient(Terminal& terminal, os::PipeHandle pipe, const Limits& limits);

// Answers one whole request (`body`: command id, then payload; `length`
// bytes, a valid request length) with its one reply into `sink`, through
// the connection's reusable `reply_buffer`. False when the reply could not
// be written whole: the stream is then unusable and the connection ends.
// Every connection, over a pipe or in memory, serves its requests here.
bool ServeRequest(Terminal& terminal, ClientState& client, const std::uint8_t* body, std::uint32_t length,
                  ByteSink& sink, std::vector<std::uint8_t>& reply_buffer);

}  // namespace vl5::terminal::server
