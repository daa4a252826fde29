// POSIX side of thread.h.
#include "src/link/os/thread.h"

#include "src/link/os/posix/interrupt.h"

namespace vl5::os {

namespace {

InterruptCheck g_interrupt_check = nullptr;

}  // namespace

void SetInterruptCheck(InterruptCheck check) { g_interrupt_check = check; }

bool AbandonInterrupted() { return g_interrupt_check != nullptr && g_interrupt_check(); }

}  // namespace vl5::os
