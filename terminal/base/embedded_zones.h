// The zone files compiled into the program (generated at build time from the
// build machine's zone database by cmake/embed_zones.cmake).
#pragma once

#include <cstddef>

namespace vl5::terminal {

struct EmbeddedZone {
  const char* name;
  const unsigned char* bytes;
  std::size_t size;
};

extern const EmbeddedZone kEmbeddedZones[];
extern const std::size_t kEmbeddedZoneCount;

}  // namespace vl5::terminal
