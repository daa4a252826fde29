// One client's conversation: read a request frame, answer it, repeat, until
// the client leaves or breaks the framing. Runs on the client's own thread.
#pragma once

#include "terminal/model/terminal.h"
#include "terminal/server/limits.h"
#include "src/link/os/os.h"

namespace vl5::terminal::server {

// Returns when the client is gone, breaks the framing (see RequestReader),
// sends nothing within `limits.request_ms` of connecting, does not complete a
// request it began within `limits.request_ms`, or stops taking its reply for
// `limits.reply_stall_ms`; the caller closes the pipe. A client that has
// spoken may wait as long as it likes between requests.
void ServeClient(Terminal& terminal, os::PipeHandle pipe, const Limits& limits);

}  // namespace vl5::terminal::server
