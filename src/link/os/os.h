// The platform layer: the few operating-system services the link and the
// terminal need, one header per job. Only the files in this folder include
// <windows.h> or POSIX headers; everything above works in UTF-16 (char16_t)
// text and plain integers. Behind each header are windows/<job>.cpp and
// posix/<job>.cpp; Linux-only calls in the latter sit behind the feature
// checks of cmake/posix_features.cmake, each with a portable fallback.
//
// This header includes them all, for code written before the split; new code
// includes the job header it needs.
#pragma once

#include "src/link/os/clock.h"
#include "src/link/os/files.h"
#include "src/link/os/hash.h"
#include "src/link/os/pipe.h"
#include "src/link/os/process.h"
#include "src/link/os/thread.h"
