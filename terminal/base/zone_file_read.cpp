#include "terminal/base/zone_file_read.h"

#include "src/link/os/files.h"
#include "src/wire/text.h"
#include "terminal/base/trusted_files.h"
#include "terminal/base/zone_files.h"

namespace vl5::terminal {

ZoneRead ReadZoneFile(const std::string& path, std::string* bytes, std::string* error) {
  const std::u16string wide = wire::Utf8ToUtf16(path);
  const os::FileRead result = os::ReadSystemFile(wide, kMaxZoneFile, bytes);
  if (result == os::FileRead::kRead) return ZoneRead::kRead;
  if (result == os::FileRead::kMissing) return ZoneRead::kMissing;
  *error = ReadProblem(result, wide, kMaxZoneFile);
  return ZoneRead::kRefused;
}

}  // namespace vl5::terminal
