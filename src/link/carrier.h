// A carrier: an in-process stand-in for the pipe. The bytes of a request are
// handed to a peer living in this process, and the reply's bytes are taken
// from it, in the calling thread; frames and the protocol above are the
// pipe's own. Used only by the stepped-clock helpers, which run the
// simulated terminal's engine inside the Python process: the module and the
// engine are two extension modules, so the carrier is a plain table of
// function pointers handed over in a capsule.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl5::link {

struct Carrier {
  void* peer;
  // Starts a connection, as a client opening the pipe; false when the peer
  // refuses one (it belongs to another process after a fork).
  bool (*open)(void* peer);
  // Ends the connection. Never fails.
  void (*close)(void* peer);
  // Takes n request bytes; a whole request is served before this returns.
  // False when the peer dropped the connection (a malformed frame).
  bool (*write)(void* peer, const void* bytes, std::size_t n);
  // Gives exactly n bytes of reply; false when fewer are due, which over a
  // pipe would be a peer that never answers.
  bool (*read)(void* peer, void* bytes, std::size_t n);
};

// What the module offers the engine, in the capsule named kCarrierCapsule.
struct CarrierApi {
  std::uint32_t version;  // kCarrierApiVersion: both modules come from one build
  // Routes the module's connection through `carrier`; it then stays
  // connected to nothing until initialize() opens the carrier. False, with
  // nothing changed, while another carrier is attached.
  bool (*attach)(const Carrier* carrier);
  // Closes the connection of `carrier` if open and restores the pipe. False
  // when `carrier` is not the one attached.
  bool (*detach)(const Carrier* carrier);
};

inline constexpr std::uint32_t kCarrierApiVersion = 1;
inline constexpr char kCarrierCapsule[] = "velmora5._core._carrier_api";

}  // namespace vl5::link
