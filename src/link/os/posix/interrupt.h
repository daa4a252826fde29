// What the POSIX side does when a signal interrupts one of its blocking calls.
#pragma once

namespace vl5::os {

// True when the check installed by SetInterruptCheck wants the interrupted
// call abandoned; false (resume it) when none is installed.
bool AbandonInterrupted();

}  // namespace vl5::os
