// Python entry points of the session (initialize, login, shutdown) and of
// the version query.
#pragma once

#include <Python.h>

namespace vl5::link {

PyObject* PyInitialize(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* PyLogin(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* PyShutdown(PyObject* self, PyObject* args);
PyObject* PyVersion(PyObject* self, PyObject* args);

}  // namespace vl5::link
