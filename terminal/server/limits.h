// What one terminal64 server allows its clients.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl5::terminal::server {

struct Limits {
  std::size_t max_clients = 128;
  // From a request's first byte to its last, and from connecting to the first byte.
  std::int32_t request_ms = 10000;
  // Longest a reply may wait for the client to take another byte: a client
  // that stops reading is dropped and its place freed, however much of its
  // reply is left; one that reads slowly but steadily gets all of it.
  std::int32_t reply_stall_ms = 10000;
};

}  // namespace vl5::terminal::server
