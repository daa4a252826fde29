// POSIX side of thread.h.
#include "src/link/os/thread.h"

#include <pthread.h>
#include <sched.h>

#include "src/link/os/posix/interrupt.h"

namespace vl5::os {

namespace {

InterruptCheck g_interrupt_check = nullptr;

}  // namespace

void SetInterruptCheck(InterruptCheck check) { g_interrupt_check = check; }

bool AbandonInterrupted() { return g_interrupt_check != nullptr && g_interrupt_check(); }

void RunAtIdlePriority() {
  sched_param param{};
#ifdef HAVE_SCHED_IDLE
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
#else
  // POSIX has no idle class: the lowest priority of the thread's own policy
  // (for the normal policy this changes nothing on some systems).
  int policy = 0;
  if (pthread_getschedparam(pthread_self(), &policy, &param) != 0) return;
  const int lowest = sched_get_priority_min(policy);
  if (lowest < 0) return;
  param.sched_priority = lowest;
  pthread_setschedparam(pthread_self(), policy, &param);
#endif
}

}  // namespace vl5::os
