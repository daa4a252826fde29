// The module's one exception boundary: every function of the method table is
// called through one of the adaptors below, which reset the last error and
// turn any C++ exception into a failure code, so none ever reaches the
// interpreter. The adaptors also fix each function's calling convention.
#pragma once

#include <Python.h>

#include <new>

#include "src/module/args.h"
#include "src/module/interrupt.h"
#include "src/module/last_error.h"

namespace vl5::py {

// What a function returns when it fails: most give None, the connection and
// selection functions False.
enum class Failure { kNone, kFalse };

// The last error for an exception that ended a call, and the failure value.
PyObject* OutOfMemory(Failure failure) noexcept;
PyObject* CallFailed(Failure failure) noexcept;

template <Failure kFailure, bool kReset = true, typename Body>
PyObject* Run(const Body& body) noexcept {
  try {
    if constexpr (kReset) LastError::Reset();
    return body();
  } catch (const std::bad_alloc&) {
    return OutOfMemory(kFailure);
  } catch (...) {
    return CallFailed(kFailure);
  }
}

// Ctrl-C during the call: its failure is reported, then the exception raised.
template <Failure kFailure, bool kReset = true, typename Body>
PyObject* Guard(const Body& body) noexcept {
  return RaiseHeldInterrupt(Run<kFailure, kReset>(body));
}

using NoArgsFunction = PyObject* (*)(PyObject* self, PyObject* unused);
using ArgsFunction = PyObject* (*)(const Args& args);

// METH_NOARGS.
template <NoArgsFunction F, Failure kFailure, bool kReset = true>
PyObject* CallNoArgs(PyObject* self, PyObject* unused) noexcept {
  return Guard<kFailure, kReset>([&] { return F(self, unused); });
}

// METH_FASTCALL: positional arguments only; the interpreter refuses keywords.
template <ArgsFunction F, Failure kFailure>
PyObject* CallPositional(PyObject*, PyObject* const* values, Py_ssize_t count) noexcept {
  return Guard<kFailure>([&] { return F(Args(values, count)); });
}

// METH_FASTCALL | METH_KEYWORDS.
template <ArgsFunction F, Failure kFailure>
PyObject* CallWithKeywords(PyObject*, PyObject* const* values, Py_ssize_t count, PyObject* names) noexcept {
  return Guard<kFailure>([&] { return F(Args(values, count, names)); });
}

}  // namespace vl5::py
