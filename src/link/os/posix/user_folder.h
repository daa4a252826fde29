// The per-user base folders of the XDG convention, shared by the data and
// cache lookups of the POSIX side.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vl5::os {

// $`variable` when it is an absolute path, else `under_home` below the home
// folder ($HOME, or the password database's when HOME is unset or empty);
// false when there is no home either.
inline bool UserFolder(const char* variable, const char* under_home, std::string* path) {
  const char* xdg = std::getenv(variable);
  if (xdg != nullptr && xdg[0] == '/') {
    *path = xdg;
    return true;
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* pw = getpwuid(geteuid());
    home = pw != nullptr ? pw->pw_dir : nullptr;
  }
  if (home == nullptr || home[0] == '\0') return false;
  *path = std::string(home) + "/" + under_home;
  return true;
}

}  // namespace vl5::os
