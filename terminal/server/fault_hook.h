// Failures the tests can inject into terminal64, armed once at start by the
// environment variable VL5_TERMINAL_FAULT. Unarmed, each check is one load.
//   handler_alloc:<command id>   that command's handler throws std::bad_alloc
//   handler_throw:<command id>   that command's handler throws another exception
#pragma once

#include <cstdint>

namespace vl5::terminal::server {

enum class HandlerFault { kNone, kAllocation, kOther };

// Reads VL5_TERMINAL_FAULT; an unknown or malformed value arms nothing.
void ArmFaultFromEnvironment();
// The fault armed for requests of `command`.
HandlerFault HandlerFaultFor(std::uint32_t command);

}  // namespace vl5::terminal::server
