// Python entry points of the session (initialize, login, shutdown) and of
// the version query.
#pragma once

#include <Python.h>

#include "src/module/args.h"

namespace vl5::link {

PyObject* PyInitialize(const py::Args& args);
PyObject* PyLogin(const py::Args& args);
PyObject* PyShutdown(PyObject* self, PyObject* args);
PyObject* PyVersion(PyObject* self, PyObject* args);

}  // namespace vl5::link
