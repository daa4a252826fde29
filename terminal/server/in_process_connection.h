// A connection whose bytes are handed over in memory: the terminal's engine
// inside a client's own process. Write takes request bytes and answers every
// request they complete before it returns, in the calling thread; Read takes
// the replies. The framing rules are the pipe connection's: a frame that
// cannot be a request drops the connection, and so does a reply that could
// not be written whole.
//
// Not thread-safe: its owner serialises the calls (the Python module does,
// holding the interpreter lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "terminal/model/terminal.h"
#include "terminal/server/context.h"

namespace vl5::terminal::server {

class InProcessConnection {
 public:
  explicit InProcessConnection(Terminal& terminal) : terminal_(terminal) {}
  InProcessConnection(const InProcessConnection&) = delete;
  InProcessConnection& operator=(const InProcessConnection&) = delete;

  // Starts afresh, as a new client on the pipe: no request half-sent, no
  // reply unread, no depth of market opened.
  void Reset();
  // False once the connection was dropped (now or earlier).
  bool Write(const std::uint8_t* bytes, std::size_t n);
  // Exactly n reply bytes; false when fewer are due.
  bool Read(std::uint8_t* out, std::size_t n);
  // Reply bytes not yet read.
  std::size_t Pending() const { return replies_.size() - read_; }
  bool dropped() const { return dropped_; }
  void Drop() { dropped_ = true; }

 private:
  // Serves the whole frames at the front of [data, data + n); returns the
  // bytes of them used. Sets dropped_ on a frame that cannot be a request.
  std::size_t ServeFrames(const std::uint8_t* data, std::size_t n);

  Terminal& terminal_;
  ClientState client_;
  std::vector<std::uint8_t> partial_;  // a request not yet whole
  std::vector<std::uint8_t> replies_;  // replies, read_ bytes of them taken
  std::size_t read_ = 0;
  std::vector<std::uint8_t> reply_buffer_;  // the reply writer's, reused
  bool dropped_ = false;
};

}  // namespace vl5::terminal::server
