// One client's conversation: read a request frame, answer it, repeat, until
// the client leaves or breaks the framing. Runs on the client's own thread.
#pragma once

#include <cstdint>

#include "terminal/core/terminal.h"
#include "src/link/os/os.h"

namespace vl5::terminal::server {

// Returns when the client is gone, breaks the framing (see RequestReader), or
// does not complete a request it began within `request_ms`; the caller
// closes the pipe. A client may wait as long as it likes between requests.
void ServeClient(Terminal& terminal, os::PipeHandle pipe, std::int32_t request_ms);

}  // namespace vl5::terminal::server
