// Waiting.
#pragma once

#include <cstdint>

namespace vl5::os {

// Sleeps for at least `milliseconds`. False when the interrupt check
// (thread.h) ended the sleep early.
bool SleepMs(std::uint32_t milliseconds);

}  // namespace vl5::os
