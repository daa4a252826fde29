// Windows side of thread.h.
#include "src/link/os/thread.h"

#include "src/link/os/windows/win32.h"

namespace vl5::os {

// Signals do not interrupt Win32 calls, so the check is never asked here.
void SetInterruptCheck(InterruptCheck) {}

}  // namespace vl5::os
