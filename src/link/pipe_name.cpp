#include "src/link/pipe_name.h"

#include <vector>

#include "src/link/os/os.h"
#include "src/wire/commands.h"

namespace vl5::link {

std::u16string PipeBaseName(const std::uint8_t digest[32]) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string name = wire::kPipeNamePrefix;
  for (int i = 0; i < 32; ++i) {
    name += kHex[digest[i] >> 4];
    name += kHex[digest[i] & 0xF];
  }
  return name;
}

PipeNameError PipeNameFor(const std::u16string& executable, std::u16string* address, std::uint8_t digest[32]) {
  if (executable.size() > kMaxPathUnits) return PipeNameError::kPathTooLong;
  std::u16string key = os::NormalizePath(executable, kMaxPathUnits);
  os::LowerCase(&key);
  // Hash the UTF-16LE bytes, independent of the host's byte order.
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * key.size());
  for (char16_t unit : key) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (!os::Sha256(bytes.data(), bytes.size(), digest)) return PipeNameError::kHashFailed;
  *address = os::PipeAddress(PipeBaseName(digest));
  return PipeNameError::kNone;
}

}  // namespace vl5::link
