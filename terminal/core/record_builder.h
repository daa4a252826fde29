// Fills a packed wire record field by field through its table in
// wire/records.h, so the terminal writes exactly the layout the module reads.
// Names that are not in the table, or a value of the wrong kind, are counted
// as misses; tests build every record and require none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "src/wire/records.h"

namespace vl5::terminal {

class RecordBuilder {
 public:
  template <std::size_t N>
  RecordBuilder(const wire::Field (&fields)[N], std::size_t record_size)
      : fields_(fields), count_(N), bytes_(record_size, 0) {}

  RecordBuilder& Bool(const char* name, bool value);
  // Any integer field (u32, i32, u64, i64); the value is cut to the field's width.
  RecordBuilder& Int(const char* name, std::int64_t value);
  RecordBuilder& Uint(const char* name, std::uint64_t value);
  RecordBuilder& Real(const char* name, double value);
  // Up to the field's capacity; the rest of the field stays zero.
  RecordBuilder& Text(const char* name, std::u16string_view value);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  int misses() const { return misses_; }

 private:
  const wire::Field* Find(const char* name, bool text);

  const wire::Field* fields_;
  std::size_t count_;
  std::vector<std::uint8_t> bytes_;
  int misses_ = 0;
};

}  // namespace vl5::terminal
