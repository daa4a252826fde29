// The outcome of a link step as a returned value, after LevelDB's Status: a
// result code and, for a failure, the reason in words that completes the
// code's message. Nothing about a failure is kept aside for later reading.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "src/wire/status.h"

namespace vl5::link {

struct Outcome {
  std::int32_t code = wire::kSuccess;
  std::u16string detail;  // why connecting, finding or starting the terminal failed

  bool ok() const { return code == wire::kSuccess; }
};

inline Outcome InitializeFailed(std::u16string detail) {
  return Outcome{wire::kIpcInitializeFailed, std::move(detail)};
}

// A wait or transfer ended by Ctrl-C reports as a failed receive; the link is gone.
inline Outcome Interrupted() { return Outcome{wire::kIpcRecvFailed, {}}; }

}  // namespace vl5::link
