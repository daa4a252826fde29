#include "terminal/core/record_builder.h"

#include <algorithm>
#include <cstring>

namespace vl5::terminal {

const wire::Field* RecordBuilder::Find(const char* name, bool text) {
  for (std::size_t i = 0; i < count_; ++i) {
    if (std::strcmp(fields_[i].name, name) == 0) {
      if ((fields_[i].kind == wire::FieldKind::kText) != text) break;
      return &fields_[i];
    }
  }
  ++misses_;
  return nullptr;
}

RecordBuilder& RecordBuilder::Bool(const char* name, bool value) {
  const wire::Field* field = Find(name, false);
  if (field != nullptr && field->kind == wire::FieldKind::kBool) {
    bytes_[field->offset] = value ? 1 : 0;
  } else if (field != nullptr) {
    ++misses_;
  }
  return *this;
}

RecordBuilder& RecordBuilder::Int(const char* name, std::int64_t value) {
  return Uint(name, static_cast<std::uint64_t>(value));
}

RecordBuilder& RecordBuilder::Uint(const char* name, std::uint64_t value) {
  const wire::Field* field = Find(name, false);
  if (field == nullptr) return *this;
  std::uint8_t* record = bytes_.data();
  switch (field->kind) {
    case wire::FieldKind::kU32:
    case wire::FieldKind::kI32:
      wire::Store(record, field->offset, static_cast<std::uint32_t>(value));
      break;
    case wire::FieldKind::kU64:
    case wire::FieldKind::kI64:
      wire::Store(record, field->offset, value);
      break;
    default:
      ++misses_;
  }
  return *this;
}

RecordBuilder& RecordBuilder::Real(const char* name, double value) {
  const wire::Field* field = Find(name, false);
  if (field != nullptr && field->kind == wire::FieldKind::kF64) {
    wire::Store(bytes_.data(), field->offset, value);
  } else if (field != nullptr) {
    ++misses_;
  }
  return *this;
}

RecordBuilder& RecordBuilder::Text(const char* name, std::u16string_view value) {
  const wire::Field* field = Find(name, true);
  if (field == nullptr) return *this;
  const std::size_t units = std::min<std::size_t>(value.size(), field->size / 2);
  for (std::size_t i = 0; i < units; ++i) {
    bytes_[field->offset + 2 * i] = static_cast<std::uint8_t>(value[i] & 0xFF);
    bytes_[field->offset + 2 * i + 1] = static_cast<std::uint8_t>(value[i] >> 8);
  }
  return *this;
}

}  // namespace vl5::terminal
