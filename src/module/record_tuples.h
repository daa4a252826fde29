// Turns a packed wire record into its result named tuple, field by field,
// through the record's field table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "src/module/pyref.h"
#include "src/module/result_types.h"
#include "src/wire/records.h"

namespace vl5::py {

// Objects shared by every record tuple, made at import: 0, or -1 with the
// Python exception set.
int PrepareRecordTuples();

// A text field: the UTF-16LE units before the first zero unit, never past the field.
PyRef DecodeTextField(const std::uint8_t* record, const wire::Field& field);

// Null when the tuple cannot be built. A `trailing` object, when given,
// becomes the item after the record's fields (the nested trade request).
PyRef BuildRecordTuple(ResultType type, const wire::Field* fields, std::size_t count, const std::uint8_t* record,
                       PyRef trailing = {});

template <std::size_t N>
PyRef BuildRecordTuple(ResultType type, const wire::Field (&fields)[N], const std::uint8_t* record,
                       PyRef trailing = {}) {
  return BuildRecordTuple(type, fields, N, record, std::move(trailing));
}

// A tuple of `count` records of `size` bytes each, or null.
PyRef BuildRecordTuples(ResultType type, const wire::Field* fields, std::size_t field_count,
                        const std::uint8_t* records, std::uint32_t count, std::size_t size);

template <std::size_t N>
PyRef BuildRecordTuples(ResultType type, const wire::Field (&fields)[N], const std::uint8_t* records,
                        std::uint32_t count, std::size_t size) {
  return BuildRecordTuples(type, fields, N, records, count, size);
}

}  // namespace vl5::py
