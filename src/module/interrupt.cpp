#include "src/module/interrupt.h"

#include "src/link/channel.h"

namespace vl5::py {

namespace {

// The exception a signal handler raised during the current call. Calls are
// serialised by the interpreter lock, which the module never releases.
struct Held {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;

  void Take() {
#if PY_VERSION_HEX >= 0x030C0000
    value = PyErr_GetRaisedException();
    type = value != nullptr ? Py_NewRef(Py_TYPE(value)) : nullptr;
#else
    PyErr_Fetch(&type, &value, &traceback);
#endif
  }
  void Raise() {  // hands the references over
#if PY_VERSION_HEX >= 0x030C0000
    Py_DECREF(type);
    PyErr_SetRaisedException(value);
#else
    PyErr_Restore(type, value, traceback);
#endif
    *this = Held{};
  }
} g_held;

bool HandlerRaised() {
  if (g_held.type != nullptr) return true;  // this call is already ending
  if (PyErr_CheckSignals() == 0) return false;
  g_held.Take();
  return g_held.type != nullptr;
}

}  // namespace

void InstallInterruptCheck() { link::SetInterruptCheck(HandlerRaised); }

PyObject* RaiseHeldInterrupt(PyObject* result) {
  if (g_held.type == nullptr) return result;
  Py_XDECREF(result);
  g_held.Raise();
  return nullptr;
}

}  // namespace vl5::py
