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

// A tuple of record tuples filled as a list reply arrives, a piece at a
// time, so the records are converted while they are still in the cache and
// never held whole beside their tuples.
class RecordTupleList {
 public:
  RecordTupleList(ResultType type, const wire::Field* fields, std::size_t field_count, std::size_t size)
      : type_(type), fields_(fields), field_count_(field_count), size_(size) {}
  template <std::size_t N>
  RecordTupleList(ResultType type, const wire::Field (&fields)[N], std::size_t size)
      : RecordTupleList(type, fields, N, size) {}

  // The protocol's piece sink: (total, null, 0) first, then runs of records.
  bool Take(std::uint32_t total, const std::uint8_t* records, std::uint32_t n);
  // A tuple could not be built (as opposed to a reply that went wrong).
  bool Failed() const { return failed_; }
  PyRef Release() { return std::move(list_); }

 private:
  ResultType type_;
  const wire::Field* fields_;
  std::size_t field_count_;
  std::size_t size_;
  PyRef list_;
  std::uint32_t filled_ = 0;
  bool failed_ = false;
};

// A tuple of `count` records of `size` bytes each, or null.
PyRef BuildRecordTuples(ResultType type, const wire::Field* fields, std::size_t field_count,
                        const std::uint8_t* records, std::uint32_t count, std::size_t size);

template <std::size_t N>
PyRef BuildRecordTuples(ResultType type, const wire::Field (&fields)[N], const std::uint8_t* records,
                        std::uint32_t count, std::size_t size) {
  return BuildRecordTuples(type, fields, N, records, count, size);
}

}  // namespace vl5::py
