// Ctrl-C during a blocked exchange, after Python's own rule for blocking calls
// (PEP 475): when a signal interrupts a transfer or wait, the link runs the
// interpreter's signal handlers through the check installed here. A handler's
// exception (KeyboardInterrupt) ends the exchange; it is held while the entry
// point reports the failure through last_error, and raised when it returns.
#pragma once

#include <Python.h>

namespace vl5::py {

// Hands the link the check; once, when the module is created.
void InstallInterruptCheck();

// What an entry point returns: its result, or null with the held exception
// raised when a signal handler raised one during the call.
PyObject* RaiseHeldInterrupt(PyObject* result);

}  // namespace vl5::py
