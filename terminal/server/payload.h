// Reads the payload of one request field by field. Reading past the end
// fails; a handler also checks AtEnd(), so a payload of the wrong length for
// its command is refused as malformed rather than half understood.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vl5::terminal::server {

// Longest counted string accepted in a request: the longest the module sends
// (a group mask) with room to spare.
inline constexpr std::uint32_t kMaxStringUnits = 4096;

class Payload {
 public:
  Payload(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool U8(std::uint8_t* value) { return Take(value, sizeof(*value)); }
  bool U32(std::uint32_t* value) { return Take(value, sizeof(*value)); }
  bool I32(std::int32_t* value) { return Take(value, sizeof(*value)); }
  bool U64(std::uint64_t* value) { return Take(value, sizeof(*value)); }
  bool I64(std::int64_t* value) { return Take(value, sizeof(*value)); }
  bool F64(double* value) { return Take(value, sizeof(*value)); }
  // A fixed-size record, copied as it came.
  bool Bytes(std::uint8_t* out, std::size_t n) { return Take(out, n); }
  // A 32-bit unit count, then that many UTF-16LE units.
  bool String(std::u16string* text);
  bool AtEnd() const { return offset_ == size_; }

 private:
  bool Take(void* out, std::size_t n);

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

}  // namespace vl5::terminal::server
