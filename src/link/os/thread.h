// The calling thread: what a signal that interrupts one of its blocking calls
// does, and its share of the processor.
#pragma once

namespace vl5::os {

// Asked when a signal interrupts a blocking transfer or sleep of the pipe
// client (POSIX): true abandons the call, false resumes it. Unset, every
// interrupted call resumes. One check for the whole process. Windows calls
// are not interrupted by signals.
using InterruptCheck = bool (*)();
void SetInterruptCheck(InterruptCheck check);

// Lets the calling thread run only on time no other work wants, for
// background work that must never delay a client: the idle priority where
// the system has one, else the lowest priority of the thread's policy.
void RunAtIdlePriority();

}  // namespace vl5::os
