#include "src/module/record_tuples.h"

#include <cstring>

namespace vl5::py {

namespace {

using wire::FieldKind;
using wire::Load;

// Most doubles of a record are 0.0: one shared object stands for them all
// (floats are immutable). Made at import, kept for the process.
PyObject* g_zero = nullptr;

PyObject* FloatValue(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof(bits));
  if (bits == 0 && g_zero != nullptr) {  // +0.0 only: -0.0 keeps its sign
    Py_INCREF(g_zero);
    return g_zero;
  }
  return PyFloat_FromDouble(value);
}

PyObject* FieldValue(const std::uint8_t* record, const wire::Field& field) {
  switch (field.kind) {
    case FieldKind::kBool:
      return PyBool_FromLong(record[field.offset] != 0);
    case FieldKind::kU32:
      return PyLong_FromUnsignedLong(Load<std::uint32_t>(record, field.offset));
    case FieldKind::kI32:
      return PyLong_FromLong(Load<std::int32_t>(record, field.offset));
    case FieldKind::kU64:
      return PyLong_FromUnsignedLongLong(Load<std::uint64_t>(record, field.offset));
    case FieldKind::kI64:
      return PyLong_FromLongLong(Load<std::int64_t>(record, field.offset));
    case FieldKind::kF64:
      return FloatValue(Load<double>(record, field.offset));
    case FieldKind::kText:
      return DecodeTextField(record, field).release();
  }
  return nullptr;
}

}  // namespace

int PrepareRecordTuples() {
  if (g_zero == nullptr) g_zero = PyFloat_FromDouble(0.0);
  return g_zero != nullptr ? 0 : -1;
}

PyRef DecodeTextField(const std::uint8_t* record, const wire::Field& field) {
  const std::uint8_t* text = record + field.offset;
  const std::size_t capacity = field.size / 2;
  std::size_t units = 0;
  bool ascii = true;
  for (; units < capacity; ++units) {
    const unsigned low = text[2 * units];
    const unsigned high = text[2 * units + 1];
    if ((low | high) == 0) break;
    ascii = ascii && high == 0 && low < 0x80;
  }
  if (ascii) {
    // Plain ASCII, the usual case: the units' low bytes are the string.
    PyRef string = PyRef::Steal(PyUnicode_New(static_cast<Py_ssize_t>(units), 0x7F));
    if (!string) return {};
    Py_UCS1* out = PyUnicode_1BYTE_DATA(string.get());
    for (std::size_t i = 0; i < units; ++i) out[i] = text[2 * i];
    return string;
  }
  int little_endian = -1;
  return PyRef::Steal(PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(text), static_cast<Py_ssize_t>(2 * units),
                                            "surrogatepass", &little_endian));
}

PyRef BuildRecordTuple(ResultType type, const wire::Field* fields, std::size_t count, const std::uint8_t* record,
                       PyRef trailing) {
  PyRef tuple = NewResult(type);
  if (!tuple) return {};
  if (trailing) PyStructSequence_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(count), trailing.release());
  for (std::size_t i = 0; i < count; ++i) {
    PyObject* value = FieldValue(record, fields[i]);
    if (value == nullptr) return {};
    PyStructSequence_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), value);  // steals
  }
  return tuple;
}

bool RecordTupleList::Take(std::uint32_t total, const std::uint8_t* records, std::uint32_t n) {
  if (records == nullptr) {
    list_ = PyRef::Steal(PyTuple_New(total));
    failed_ = !list_;
    return !failed_;
  }
  if (!list_ || n > total - filled_) return false;
  for (std::uint32_t i = 0; i < n; ++i) {
    PyRef item = BuildRecordTuple(type_, fields_, field_count_, records + std::size_t{i} * size_);
    if (!item) {
      failed_ = true;
      return false;
    }
    PyTuple_SET_ITEM(list_.get(), filled_++, item.release());
  }
  return true;
}

PyRef BuildRecordTuples(ResultType type, const wire::Field* fields, std::size_t field_count,
                        const std::uint8_t* records, std::uint32_t count, std::size_t size) {
  RecordTupleList list(type, fields, field_count, size);
  if (!list.Take(count, nullptr, 0) || !list.Take(count, records, count)) return {};
  return list.Release();
}

}  // namespace vl5::py
