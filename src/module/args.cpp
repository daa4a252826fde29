#include "src/module/args.h"

#include <datetime.h>

#include <cmath>
#include <limits>

#include "src/module/pyref.h"

namespace vl5::py {

namespace {

// The datetime API table; datetime.h declares its own per-file pointer, so
// this file is the only one that uses it.
bool IsDateTime(PyObject* object) { return PyDateTimeAPI != nullptr && PyDateTime_Check(object); }

bool TruncateSeconds(double value, std::int32_t* seconds) {
  // Out-of-range and NaN values have no date: refused rather than wrapped.
  double whole = std::trunc(value);
  if (!(whole >= std::numeric_limits<std::int32_t>::min() && whole <= std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  *seconds = static_cast<std::int32_t>(whole);
  return true;
}

bool Refuse() {
  if (PyErr_Occurred()) PyErr_Clear();
  return false;
}

}  // namespace

bool ImportDateTimeApi() {
  PyDateTime_IMPORT;
  return PyDateTimeAPI != nullptr;
}

bool ConvertDate(PyObject* object, std::int32_t* seconds) {
  if (object == nullptr) return false;
  if (PyLong_Check(object)) {
    long long value = PyLong_AsLongLong(object);
    if (value == -1 && PyErr_Occurred()) return Refuse();
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
      return false;
    }
    *seconds = static_cast<std::int32_t>(value);
    return true;
  }
  if (PyFloat_Check(object)) {
    double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) return Refuse();
    return TruncateSeconds(value, seconds);
  }
  if (IsDateTime(object)) {
    PyRef stamp = PyRef::Steal(PyObject_CallMethod(object, "timestamp", nullptr));
    if (!stamp) return Refuse();
    double value = PyFloat_AsDouble(stamp.get());
    if (value == -1.0 && PyErr_Occurred()) return Refuse();
    return TruncateSeconds(value, seconds);
  }
  return false;
}

bool ConvertText(PyObject* object, char16_t* buffer, std::size_t limit, std::size_t* length) {
  if (object == nullptr || !PyUnicode_Check(object)) return false;
  const Py_ssize_t count = PyUnicode_GET_LENGTH(object);
  const int kind = PyUnicode_KIND(object);
  const void* data = PyUnicode_DATA(object);
  // Room for the text and its terminator, in UTF-16 units: a code point
  // above the BMP takes two. Checked as the units are written.
  std::size_t k = 0;
  std::size_t first_zero = limit;
  if (kind == PyUnicode_1BYTE_KIND) {  // Latin-1, the usual symbol: one unit each
    if (static_cast<std::size_t>(count) + 1 >= limit) return false;
    const auto* bytes = static_cast<const Py_UCS1*>(data);
    for (; k < static_cast<std::size_t>(count); ++k) {
      buffer[k] = bytes[k];
      if (bytes[k] == 0 && first_zero == limit) first_zero = k;
    }
  }
  for (Py_ssize_t i = static_cast<Py_ssize_t>(k); i < count; ++i) {
    Py_UCS4 cp = PyUnicode_READ(kind, data, i);
    const std::size_t width = cp > 0xFFFF ? 2 : 1;
    if (k + width + 1 >= limit) return false;
    if (cp == 0 && first_zero == limit) first_zero = k;
    if (width == 2) {
      cp -= 0x10000;
      buffer[k++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      buffer[k++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      buffer[k++] = static_cast<char16_t>(cp);
    }
  }
  buffer[k] = 0;
  buffer[limit] = 0;
  *length = first_zero < k ? first_zero : k;
  return true;
}

bool ConvertInteger(PyObject* object, std::uint32_t* value) {
  std::uint64_t wide = 0;
  if (!ConvertInteger(object, &wide) || wide > std::numeric_limits<std::uint32_t>::max()) return false;
  *value = static_cast<std::uint32_t>(wide);
  return true;
}

bool ConvertInteger(PyObject* object, std::uint64_t* value) {
  if (object == nullptr || !PyLong_Check(object)) return false;
  unsigned long long v = PyLong_AsUnsignedLongLong(object);
  if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return Refuse();
  *value = v;
  return true;
}

bool ConvertInteger(PyObject* object, std::int64_t* value) {
  if (object == nullptr || !PyLong_Check(object)) return false;
  long long v = PyLong_AsLongLong(object);
  if (v == -1 && PyErr_Occurred()) return Refuse();
  *value = v;
  return true;
}

bool ConvertFloat(PyObject* object, double* value) {
  if (object == nullptr || !PyFloat_Check(object)) return false;
  double v = PyFloat_AsDouble(object);
  if (v == -1.0 && PyErr_Occurred()) return Refuse();
  *value = v;
  return true;
}

PyObject* Args::Keyword(const char* name) const {
  for (Py_ssize_t i = 0; i < KeywordCount(); ++i) {
    if (PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(names_, i), name) == 0) return values_[count_ + i];
  }
  return nullptr;
}

PyObject* Args::KeywordDict() const {
  PyRef dict = PyRef::Steal(PyDict_New());
  if (!dict) return nullptr;
  for (Py_ssize_t i = 0; i < KeywordCount(); ++i) {
    if (PyDict_SetItem(dict.get(), PyTuple_GET_ITEM(names_, i), values_[count_ + i]) != 0) return nullptr;
  }
  return dict.release();
}

bool FormatAdmits(const char* format, Py_ssize_t count) {
  Py_ssize_t required = 0, total = 0;
  bool optional = false;
  for (const char* c = format; *c != '\0'; ++c) {
    if (*c == '|') {
      optional = true;
      continue;
    }
    ++total;
    if (!optional) ++required;
  }
  return count >= required && count <= total;
}

bool ParseOne(char, PyObject* value, PyObject** out) {
  *out = value;
  return true;
}

bool ParseOne(char code, PyObject* value, int* out) {
  if (code == 'p') {
    int truth = PyObject_IsTrue(value);
    if (truth < 0) return false;
    *out = truth;
    return true;
  }
  if (PyFloat_Check(value)) return false;  // 'i' refuses floats outright
  long wide = PyLong_AsLong(value);
  if (wide == -1 && PyErr_Occurred()) return false;
  if (wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max()) return false;
  *out = static_cast<int>(wide);
  return true;
}

bool ParseOne(char, PyObject* value, unsigned long* out) {
  if (!PyLong_Check(value)) return false;
  *out = PyLong_AsUnsignedLongMask(value);
  return true;
}

bool ParseOne(char, PyObject* value, double* out) {
  double v = PyFloat_AsDouble(value);
  if (v == -1.0 && PyErr_Occurred()) return false;
  *out = v;
  return true;
}

}  // namespace vl5::py
