// Where this installation lives and registers itself. Clients find a
// terminal through its data folder under the per-user application data:
// origin.txt names the installation folder, VLMS marks a regular
// installation, portable.txt a portable one, and the last-write time of
// config/terminal.ini, refreshed at every start, tells which installation
// was used last.
#pragma once

#include <cstdint>
#include <string>

namespace vl5::terminal {

struct Installation {
  std::u16string executable;    // this program, as the system reports it
  std::u16string folder;        // the folder holding it
  std::u16string pipe_address;  // derived from the executable path
  std::u16string entry;         // data folder name: 32 hex digits of the pipe digest
};

// Describes the running program. False with a message when its path or the
// pipe name cannot be determined.
bool DescribeInstallation(Installation* installation, std::string* error);
bool DescribeInstallationAt(const std::u16string& executable, Installation* installation, std::string* error);

// <application data>/Orbisco/Terminal/<entry> and <...>/Terminal/Common.
bool DefaultDataFolder(const Installation& installation, std::u16string* folder, std::string* error);
bool CommonDataFolder(std::u16string* folder);

// Creates or refreshes the data folder. Writes a default terminal.ini only
// when there is none, so a user's settings survive. Refuses a folder that is
// not this user's alone, and never writes through a symlink.
bool Register(const std::u16string& data_folder, const Installation& installation, bool portable, std::string* error);

// The contents of config/terminal.ini; empty when there is none. False with a
// message when it is there but not to be read: not a regular file, too
// large, or in a folder (or of an owner) that others could have changed.
bool ReadSettingsFile(const std::u16string& data_folder, std::string* text, std::string* error);

}  // namespace vl5::terminal
