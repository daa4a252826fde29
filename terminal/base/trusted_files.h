// How terminal64 speaks of the folders and files it reads from disk: one
// wording for a folder or file that is not to be trusted, whichever of them
// it is (the settings file, history files).
#pragma once

#include <cstddef>
#include <string>

#include "src/link/os/os.h"

namespace vl5::terminal {

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name);
// A path as messages show it (UTF-8).
std::string PathText(const std::u16string& path);

// False with a message unless `folder` is a folder of this user alone.
bool CheckPrivateFolder(const std::u16string& folder, std::string* error);

// Why a checked read of `path` gave `result`; `limit` is the size a file
// larger than it broke.
std::string ReadProblem(os::FileRead result, const std::u16string& path, std::size_t limit = 0);

}  // namespace vl5::terminal
