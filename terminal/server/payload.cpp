#include "terminal/server/payload.h"

#include <cstring>

namespace vl5::terminal::server {

bool Payload::Take(void* out, std::size_t n) {
  if (size_ - offset_ < n) return false;
  std::memcpy(out, data_ + offset_, n);
  offset_ += n;
  return true;
}

bool Payload::String(std::u16string* text) {
  std::uint32_t units = 0;
  if (!U32(&units) || units > kMaxStringUnits || size_ - offset_ < 2 * std::size_t{units}) return false;
  text->resize(units);
  for (std::uint32_t i = 0; i < units; ++i) {
    const std::uint8_t* unit = data_ + offset_ + 2 * i;
    (*text)[i] = static_cast<char16_t>(unit[0] | (unit[1] << 8));
  }
  offset_ += 2 * std::size_t{units};
  return true;
}

}  // namespace vl5::terminal::server
