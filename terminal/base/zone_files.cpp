#include "terminal/base/zone_files.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "terminal/base/embedded_zones.h"
#include "terminal/base/zone_file_read.h"

#ifdef _WIN32
#include "src/link/os/process.h"
#include "src/wire/text.h"
#endif

namespace vl5::terminal {

namespace {

std::string ZoneFolder() {
#ifdef _WIN32
  const std::string program = wire::Utf16ToUtf8(os::CurrentExecutablePath());
  const std::size_t slash = program.find_last_of("\\/");
  if (slash != std::string::npos) {
    const std::string beside = program.substr(0, slash) + "\\zoneinfo";
    std::string probe, ignored;
    // The folder beside the program wins when it is there at all.
    if (ReadZoneFile(beside + "\\UTC", &probe, &ignored) != ZoneRead::kMissing) return beside;
  }
  const char* tzdir = std::getenv("TZDIR");
  return tzdir != nullptr ? std::string(tzdir) : std::string();
#else
  const char* tzdir = std::getenv("TZDIR");
  return tzdir != nullptr && *tzdir != '\0' ? std::string(tzdir) : std::string("/usr/share/zoneinfo");
#endif
}

std::shared_ptr<const TimeZone> Embedded(std::string_view name, std::string* error) {
  for (std::size_t i = 0; i < kEmbeddedZoneCount; ++i) {
    if (name == kEmbeddedZones[i].name) {
      const std::string_view bytes(reinterpret_cast<const char*>(kEmbeddedZones[i].bytes), kEmbeddedZones[i].size);
      return TimeZone::Parse(std::string(name), bytes, error);
    }
  }
  return nullptr;
}

// Loaded zones by folder and name, each read once.
struct Loaded {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<const TimeZone>, std::less<>> zones;
};

Loaded& Cache() {
  static Loaded loaded;
  return loaded;
}

}  // namespace

bool ValidZoneName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name.front() == '/' || name.back() == '/') return false;
  char before = '/';
  for (char c : name) {
    const bool plain =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '+' || c == '-';
    if (!plain && !(c == '/' && before != '/')) return false;
    before = c;
  }
  return true;
}

std::shared_ptr<const TimeZone> LoadTimeZone(std::string_view name, std::string* error) {
  if (!ValidZoneName(name)) {
    *error = "'" + std::string(name) + "' is not a time zone name";
    return nullptr;
  }
  const std::string folder = ZoneFolder();
  const std::string key = folder + '\n' + std::string(name);
  Loaded& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  if (auto found = cache.zones.find(key); found != cache.zones.end()) return found->second;
  std::shared_ptr<const TimeZone> zone;
  std::string bytes;
  const ZoneRead read = folder.empty() ? ZoneRead::kMissing
#ifdef _WIN32
                                       : ReadZoneFile(folder + "\\" + std::string(name), &bytes, error);
#else
                                       : ReadZoneFile(folder + "/" + std::string(name), &bytes, error);
#endif
  if (read == ZoneRead::kRefused) return nullptr;
  if (read == ZoneRead::kRead) {
    zone = TimeZone::Parse(std::string(name), bytes, error);
  } else {
    zone = Embedded(name, error);
    if (zone == nullptr && name == "UTC") zone = std::make_shared<const TimeZone>();
    if (zone == nullptr && error->empty()) {
      *error = "unknown time zone '" + std::string(name) + "' (no such file in " +
               (folder.empty() ? std::string("the zone folder") : folder) + ")";
    }
  }
  if (zone != nullptr) cache.zones.emplace(key, zone);
  return zone;
}

std::shared_ptr<const TimeZone> BuiltInZone(std::string_view name) {
  std::string error;
  if (std::shared_ptr<const TimeZone> zone = LoadTimeZone(name, &error)) return zone;
  std::shared_ptr<const TimeZone> zone = Embedded(name, &error);
  return zone != nullptr ? zone : std::make_shared<const TimeZone>();
}

}  // namespace vl5::terminal
