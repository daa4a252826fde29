// Reading one zone file with the checks a file from a system folder needs.
#pragma once

#include <string>

namespace vl5::terminal {

enum class ZoneRead { kRead, kMissing, kRefused };
// The bytes of `path` (UTF-8), or kRefused with a message saying why.
ZoneRead ReadZoneFile(const std::string& path, std::string* bytes, std::string* error);

}  // namespace vl5::terminal
