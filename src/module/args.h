// Conversion of Python arguments into the fixed-width values and UTF-16
// buffers that requests carry. Each conversion answers true or false and
// leaves no Python exception pending.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "src/wire/text.h"

namespace vl5::py {

// A wide-text buffer of copy limit N: N + 1 units, always zero-terminated,
// accepting texts of at most N - 2 UTF-16 units.
template <std::size_t N>
struct TextBuffer {
  char16_t units[N + 1] = {};
  std::size_t length = 0;  // units before the first zero, found while converting
  std::u16string_view View() const { return {units, length}; }
  bool Empty() const { return units[0] == 0; }
};
using SymbolText = TextBuffer<31>;
using GroupText = TextBuffer<1999>;
using AccountText = TextBuffer<255>;
using PathText = TextBuffer<259>;

// Must run once at import, before any date is converted.
bool ImportDateTimeApi();

// int, float (truncated) or datetime (its timestamp()), as signed 32-bit seconds.
bool ConvertDate(PyObject* object, std::int32_t* seconds);

// A str of at most N - 2 UTF-16 units into a zero-filled buffer of N + 1
// units, in one pass; `length` gets the units before the first zero. After a
// refusal the buffer holds a partial text: the caller stops there.
bool ConvertText(PyObject* object, char16_t* buffer, std::size_t limit, std::size_t* length);
template <std::size_t N>
bool ConvertText(PyObject* object, TextBuffer<N>* text) {
  return ConvertText(object, text->units, N, &text->length);
}

// Integers are accepted only as int (bool included), in the kind's range.
bool ConvertInteger(PyObject* object, std::uint32_t* value);
bool ConvertInteger(PyObject* object, std::uint64_t* value);
bool ConvertInteger(PyObject* object, std::int64_t* value);
// Only a float is accepted where a record field is filled.
bool ConvertFloat(PyObject* object, double* value);

// The arguments of a METH_FASTCALL call: `count` positional values, then
// one value for each keyword named in the tuple `names` (null: none).
class Args {
 public:
  Args(PyObject* const* values, Py_ssize_t count, PyObject* names = nullptr)
      : values_(values), count_(count), names_(names) {}
  Py_ssize_t Count() const { return count_; }
  PyObject* operator[](Py_ssize_t i) const { return values_[i]; }
  Py_ssize_t KeywordCount() const { return names_ != nullptr ? PyTuple_GET_SIZE(names_) : 0; }
  // Borrowed keyword value, or null when absent.
  PyObject* Keyword(const char* name) const;
  // The keywords as a new dictionary, or null.
  PyObject* KeywordDict() const;

 private:
  PyObject* const* values_;
  Py_ssize_t count_;
  PyObject* names_;
};

// The positional arguments converted as PyArg_ParseTuple converts them, for
// the codes the functions use: O (any object), i (int in range), k (int,
// masked to unsigned long), d (float or anything with __float__), p (truth),
// and | before the optional ones. The count must fit the format.
bool ParseOne(char code, PyObject* value, PyObject** out);
bool ParseOne(char code, PyObject* value, int* out);
bool ParseOne(char code, PyObject* value, unsigned long* out);
bool ParseOne(char code, PyObject* value, double* out);
bool FormatAdmits(const char* format, Py_ssize_t count);

template <typename... T>
bool ParseArgs(const Args& args, const char* format, T*... outputs) {
  if (!FormatAdmits(format, args.Count())) return false;
  const char* code = format;
  Py_ssize_t index = 0;
  bool ok = true;
  auto parse = [&](auto* out) {
    if (*code == '|') ++code;
    if (ok && index < args.Count()) ok = ParseOne(*code, args[index], out);
    ++code;
    ++index;
  };
  (parse(outputs), ...);
  if (!ok && PyErr_Occurred()) PyErr_Clear();
  return ok;
}

}  // namespace vl5::py
