// Processes this test program started indirectly (through the link's launch),
// found again by parent and image name, so that none outlives the test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vl5::wine_test {

// Ids of the running children of this process whose image is `image_name`
// (a file name such as L"terminal64.exe", compared without regard to case).
std::vector<std::uint32_t> ChildProcesses(const std::wstring& image_name);

// Waits up to `wait_ms` for the process to end by itself, and terminates it
// when it does not. True when it ended by itself (or was already gone).
bool AwaitOrTerminate(std::uint32_t pid, std::uint32_t wait_ms);

}  // namespace vl5::wine_test
