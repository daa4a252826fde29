// Finding a terminal installation, connecting to its pipe, and starting it
// when nobody answers. Failures leave their reason in the client's detail text.
#pragma once

#include <cstdint>
#include <string>

namespace vl5::link {

struct Candidate {
  std::u16string path;         // full path of the terminal executable; empty: none
  std::uint64_t last_used = 0;  // 100 ns units since 1601
  bool portable = false;
};

// Connects to the terminal at `executable`, starting it and waiting up to
// 60 s for its pipe when it is not running. False at once for an empty path.
bool ConnectOrLaunch(const std::u16string& executable, bool portable);

// Scans the data folders: the installation that started this process wins,
// otherwise the most recently used one. False when the application-data
// folder itself is unavailable; `best->path` is empty when nothing was found.
bool FindInstalledTerminal(Candidate* best);

}  // namespace vl5::link
