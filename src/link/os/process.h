// Processes: this one, its parent, and the terminal it starts; and where
// this user's per-program data lives.
#pragma once

#include <cstdint>
#include <string>

namespace vl5::os {

extern const char16_t kTerminalExecutable[];  // "terminal64.exe" or "terminal64"

// Changes in a child made by fork (never on Windows), without a system call:
// a process compares it with the value it saw to learn that it is a copy.
// The first call starts counting, so call it before any fork that matters.
std::uint64_t ForkGeneration();
std::uint32_t ParentProcessId();
// Image path of a process; false when it cannot be queried (on POSIX systems
// without /proc/<pid>/exe, never).
bool ProcessImagePath(std::uint32_t pid, std::u16string* path);
// Full path of the running program (used by servers to name their pipe);
// empty when the system cannot tell.
std::u16string CurrentExecutablePath();
// Starts a detached program with argv [path] or [path, "/portable"], with
// default signal dispositions and an empty signal mask.
bool StartProcess(const std::u16string& path, bool portable);

// The per-user roaming application-data folder (no trailing separator).
bool RoamingAppData(std::u16string* path);

}  // namespace vl5::os
