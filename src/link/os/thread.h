// The calling thread: what a signal that interrupts one of its blocking calls
// does.
#pragma once

namespace vl5::os {

// Asked when a signal interrupts a blocking transfer or sleep of the pipe
// client (POSIX): true abandons the call, false resumes it. Unset, every
// interrupted call resumes. One check for the whole process. Windows calls
// are not interrupted by signals.
using InterruptCheck = bool (*)();
void SetInterruptCheck(InterruptCheck check);

}  // namespace vl5::os
