// Python entry points of the session (initialize, login, shutdown) and of
// the version query.
#pragma once

#include <Python.h>

#include <cstdint>

namespace vl5::link {

PyObject* PyInitialize(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* PyLogin(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* PyShutdown(PyObject* self, PyObject* args);
PyObject* PyVersion(PyObject* self, PyObject* args);

// The build the terminal reported in its last hello; 0 before any.
std::uint32_t TerminalBuild();

}  // namespace vl5::link
