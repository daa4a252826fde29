// Request frames off one client's pipe. Each read takes whatever has arrived
// into the connection's buffer, so a small request costs one read, and a
// client that sends several requests at once has them served from the buffer.
// Only a request still incomplete after a read waits with a deadline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "src/link/os/os.h"

namespace vl5::terminal::server {

// Longer requests are not a client of this protocol talking: the largest
// real request is a few kilobytes. The connection is dropped instead.
inline constexpr std::uint32_t kMaxRequestLength = 1024 * 1024;

// Whether a frame's announced length (bytes after the length field) can be a
// request: it counts the command id, so at least 4, and at most the limit.
inline bool RequestLengthValid(std::uint32_t announced) { return announced >= 4 && announced <= kMaxRequestLength; }

class RequestReader {
 public:
  RequestReader(os::PipeHandle pipe, std::int32_t request_ms);
  RequestReader(const RequestReader&) = delete;
  RequestReader& operator=(const RequestReader&) = delete;

  // The next whole request: `*body` points at its `*length` bytes after the
  // length field (command id, then payload), valid until the next call.
  // False when the client left, announced a length below 4 or above
  // kMaxRequestLength, or did not complete a request it began within
  // `request_ms`, or sent nothing at all within `request_ms` of the
  // reader's creation (its connection). Once a client has sent a byte, the
  // wait for the first byte of its next request has no limit.
  bool Next(const std::uint8_t** body, std::uint32_t* length);

 private:
  // Room after the held bytes for at least one more byte of a frame of
  // `frame_size` bytes (0 while its length is unknown): held bytes move to the
  // front, and a buffer full of one unfinished frame grows a bounded step,
  // never beyond the frame. False when memory ran out.
  bool MakeRoom(std::size_t frame_size);
  // The held bytes, moved to the front of a block of `capacity` bytes.
  bool MoveHeld(std::size_t capacity);
  // One read of what has arrived; a started request waits until its deadline,
  // set at its first wait, and a connection that never sent a byte until
  // its silence deadline.
  bool Fill(bool started, std::optional<std::int64_t>* deadline_ms);

  os::PipeHandle pipe_;
  std::int32_t request_ms_;
  std::int64_t silence_deadline_ms_;        // SteadyMs() by which the first byte is due
  bool heard_ = false;                      // some byte has arrived
  std::unique_ptr<std::uint8_t[]> buffer_;  // uninitialised: only received bytes touch memory
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // held bytes are [begin_, end_)
  std::size_t end_ = 0;
  std::size_t consumed_ = 0;  // the request handed out last, dropped at the next call
};

}  // namespace vl5::terminal::server
