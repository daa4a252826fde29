// The module-wide last error: the outcome of the most recent call, read back
// by last_error(). The one place that maps result codes to messages.
#pragma once

#include <Python.h>

#include <cstdint>

#include "src/link/outcome.h"

namespace vl5::py {

namespace LastError {
// (1, "Success"): the first step of every exported function but last_error.
void Reset();
// Stores a code and a message (cut to 2047 bytes at a character boundary).
void Set(std::int32_t code, const char* message);
std::int32_t Code();
}  // namespace LastError

// Store the code and the given message, or the code's standard message when
// `message` is null, and clear any pending Python error.
void SetError(std::int32_t code, const char* message = nullptr);
// The same, returning None / False for the caller to return.
PyObject* SetErrorReturnNone(std::int32_t code, const char* message = nullptr);
PyObject* SetErrorReturnFalse(std::int32_t code, const char* message = nullptr);
// The same for a link step's outcome: the code, its message completed by the detail.
PyObject* SetErrorReturnFalse(const link::Outcome& failure);

// Argument messages shared by every function.
inline constexpr char kInvalidArguments[] = "Invalid arguments";
inline constexpr char kInvalidNumberOfArguments[] = "Invalid number of arguments";
inline constexpr char kUnnamedNotAllowed[] = "Unnamed arguments not allowed";
// "Invalid 1st unnamed argument", ... for positions 1 to 3.
const char* PositionalMessage(int position);
// "Invalid \"<name>\" argument", valid until the next call.
const char* KeywordMessage(const char* name);

PyObject* PyLastError(PyObject* self, PyObject* args);

}  // namespace vl5::py
