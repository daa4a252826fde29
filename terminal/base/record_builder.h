// Fills a packed wire record field by field through its table in
// wire/records.h, so the terminal writes exactly the layout the module reads.
// Fields are named at compile time: `r.Real<Builder::At("balance")>(x)` does
// not compile when the table has no such field or the field holds another
// kind of value.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <vector>

#include "src/wire/records.h"

namespace vl5::terminal {

template <const auto& kFields>
class RecordBuilder {
 public:
  static constexpr std::size_t kCount = std::size(kFields);

  // The index of `name` in the table; kCount, which no setter accepts, when absent.
  static constexpr std::size_t At(const char* name) {
    // By index: GCC's sanitizer build cannot compare pointers into the table
    // at compile time.
    for (std::size_t i = 0; i < kCount; ++i) {
      if (std::string_view(kFields[i].name) == name) return i;
    }
    return kCount;
  }

  explicit RecordBuilder(std::size_t record_size) : bytes_(record_size, 0) {}

  template <std::size_t I>
  RecordBuilder& Bool(bool value) {
    static_assert(Kind<I>() == wire::FieldKind::kBool, "not a bool field");
    bytes_[kFields[I].offset] = value ? 1 : 0;
    return *this;
  }

  // Any integer field (u32, i32, u64, i64); the value is cut to the field's width.
  template <std::size_t I>
  RecordBuilder& Int(std::int64_t value) {
    return Uint<I>(static_cast<std::uint64_t>(value));
  }
  template <std::size_t I>
  RecordBuilder& Uint(std::uint64_t value) {
    constexpr wire::FieldKind kind = Kind<I>();
    static_assert(kind == wire::FieldKind::kU32 || kind == wire::FieldKind::kI32 || kind == wire::FieldKind::kU64 ||
                      kind == wire::FieldKind::kI64,
                  "not an integer field");
    if constexpr (kind == wire::FieldKind::kU32 || kind == wire::FieldKind::kI32) {
      wire::Store(bytes_.data(), kFields[I].offset, static_cast<std::uint32_t>(value));
    } else {
      wire::Store(bytes_.data(), kFields[I].offset, value);
    }
    return *this;
  }

  template <std::size_t I>
  RecordBuilder& Real(double value) {
    static_assert(Kind<I>() == wire::FieldKind::kF64, "not a real field");
    wire::Store(bytes_.data(), kFields[I].offset, value);
    return *this;
  }

  // Up to the field's capacity; the rest of the field stays zero.
  template <std::size_t I>
  RecordBuilder& Text(std::u16string_view value) {
    static_assert(Kind<I>() == wire::FieldKind::kText, "not a text field");
    constexpr wire::Field field = kFields[I];
    const std::size_t units = std::min<std::size_t>(value.size(), field.size / 2);
    for (std::size_t i = 0; i < units; ++i) {
      bytes_[field.offset + 2 * i] = static_cast<std::uint8_t>(value[i] & 0xFF);
      bytes_[field.offset + 2 * i + 1] = static_cast<std::uint8_t>(value[i] >> 8);
    }
    return *this;
  }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  template <std::size_t I>
  static constexpr wire::FieldKind Kind() {
    static_assert(I < kCount, "no field of that name in the record's table");
    return kFields[I < kCount ? I : 0].kind;
  }

  std::vector<std::uint8_t> bytes_;
};

}  // namespace vl5::terminal
