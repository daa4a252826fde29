// Where time zones come from: the zone folder of the system's zone database
// (TZDIR when set, else /usr/share/zoneinfo; on Windows a "zoneinfo" folder
// beside terminal64.exe, else TZDIR), and the copies built into the program
// of the zones the built-in symbols use, for a machine without one.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "terminal/base/time_zone.h"

namespace vl5::terminal {

// The largest zone file read; real ones are a few KiB.
inline constexpr std::size_t kMaxZoneFile = 256 * 1024;

// An IANA-shaped name: letters, digits and "_+-/", parts joined by single
// slashes, not absolute. Checked before any file is opened.
bool ValidZoneName(std::string_view name);

// The zone `name` from the zone folder, or its built-in copy when the folder
// has no such file. nullptr with a message for a bad name, a file that is
// not trusted (it and its folders must belong to root or this user and be
// writable by no one else; a world-writable folder only with the sticky
// bit), not a regular file, too large or malformed. Zones are read once and
// shared.
std::shared_ptr<const TimeZone> LoadTimeZone(std::string_view name, std::string* error);

// A built-in symbol's zone: as LoadTimeZone, but the built-in copy stands in
// for a file that cannot be used, so that the catalog always has one.
std::shared_ptr<const TimeZone> BuiltInZone(std::string_view name);

}  // namespace vl5::terminal
