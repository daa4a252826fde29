// Windows side of clock.h.
#include "src/link/os/clock.h"

#include "src/link/os/windows/win32.h"

namespace vl5::os {

bool SleepMs(std::uint32_t milliseconds) {
  Sleep(milliseconds);
  return true;
}

}  // namespace vl5::os
