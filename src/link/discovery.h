// Finding a terminal installation, connecting to its pipe, and starting it
// when nobody answers. Each step returns its outcome, with the reason of a
// failure in words.
#pragma once

#include <cstdint>
#include <string>

#include "src/link/outcome.h"

namespace vl5::link {

struct Candidate {
  std::u16string path;          // full path of the terminal executable; empty: none
  std::uint64_t last_used = 0;  // 100 ns units since 1601
  bool portable = false;
};

// Connects to the terminal at `executable`, starting it and waiting up to
// 60 s for its pipe when it is not running. Fails at once, with no detail,
// for an empty path.
Outcome ConnectOrLaunch(const std::u16string& executable, bool portable);

// Scans the data folders: the installation that started this process wins,
// otherwise the most recently used one. Fails with no detail when the
// application-data folder itself is unavailable, and with "Velmora 5 x64 not
// found" when no data folder names a terminal.
Outcome FindInstalledTerminal(Candidate* best);

// Fills `candidate` from one data folder; a failure says why it was skipped.
// Only a folder that is this user's own is read (see os::OwnFolder).
Outcome ExamineDataFolder(const std::u16string& folder, Candidate* candidate);

}  // namespace vl5::link
