// Result codes: the terminal's statuses (-1 to -8) and the link's own
// failures (-10000 to -10005). Both ends use these numbers.
#pragma once

#include <cstdint>

namespace vl5::wire {

enum Status : std::int32_t {
  kSuccess = 1,
  kTerminalCallFailed = -1,
  kInvalidParams = -2,
  kOutOfMemory = -3,
  kNotFound = -4,
  kIncompatibleVersion = -5,
  kAuthorizationFailed = -6,
  kUnsupportedFunction = -7,
  kAutoTradingDisabled = -8,
  kIpcCallFailed = -10000,
  kIpcSendFailed = -10001,
  kIpcRecvFailed = -10002,
  kIpcInitializeFailed = -10003,
  kNoIpcConnection = -10004,
  kIpcTimeout = -10005,
};

}  // namespace vl5::wire
