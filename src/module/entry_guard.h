// The module's one exception boundary: every function of the method table is
// called through Guarded<F>::Call, which resets the last error and turns any
// C++ exception into a failure code, so none ever reaches the interpreter.
#pragma once

#include <Python.h>

#include <new>

#include "src/module/interrupt.h"
#include "src/module/last_error.h"

namespace vl5::py {

// What a function returns when it fails: most give None, the connection and
// selection functions False.
enum class Failure { kNone, kFalse };

// The last error for an exception that ended a call, and the failure value.
PyObject* OutOfMemory(Failure failure) noexcept;
PyObject* CallFailed(Failure failure) noexcept;

template <auto F, Failure kFailure, bool kReset = true>
struct Guarded;

template <typename... A, PyObject* (*F)(A...), Failure kFailure, bool kReset>
struct Guarded<F, kFailure, kReset> {
  // Ctrl-C during the call: its failure is reported, then the exception raised.
  static PyObject* Call(A... arguments) noexcept { return RaiseHeldInterrupt(Run(arguments...)); }

  static PyObject* Run(A... arguments) noexcept {
    try {
      if constexpr (kReset) LastError::Reset();
      return F(arguments...);
    } catch (const std::bad_alloc&) {
      return OutOfMemory(kFailure);
    } catch (...) {
      return CallFailed(kFailure);
    }
  }
};

}  // namespace vl5::py
