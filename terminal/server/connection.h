// One client's conversation: read a request frame, answer it, repeat, until
// the client leaves or breaks the framing. Runs on the client's own thread.
#pragma once

#include <cstdint>

#include "terminal/core/terminal.h"
#include "src/link/os/os.h"

namespace vl5::terminal::server {

// Longer requests are not a client of this protocol talking: the largest
// real request is a few kilobytes. The connection is dropped instead.
inline constexpr std::uint32_t kMaxRequestLength = 1024 * 1024;

// Returns when the client is gone, or when a request it began is not
// complete `request_ms` after its first byte; the caller closes the pipe.
// A client may wait as long as it likes between requests.
void ServeClient(Terminal& terminal, os::PipeHandle pipe, std::int32_t request_ms);

}  // namespace vl5::terminal::server
