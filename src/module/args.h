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

// Borrowed keyword value, or null when absent (or when there are no keywords).
PyObject* Keyword(PyObject* kwargs, const char* name);

}  // namespace vl5::py
