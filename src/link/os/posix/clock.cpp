// POSIX side of clock.h.
#include "src/link/os/clock.h"

#include <cerrno>
#include <ctime>

#include "src/link/os/posix/interrupt.h"

namespace vl5::os {

bool SleepMs(std::uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    if (AbandonInterrupted()) return false;
  }
  return true;
}

}  // namespace vl5::os
