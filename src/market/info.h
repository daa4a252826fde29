// Python entry points of the terminal and account information queries.
#pragma once

#include <Python.h>

namespace vl5::market {

PyObject* PyTerminalInfo(PyObject* self, PyObject* args);
PyObject* PyAccountInfo(PyObject* self, PyObject* args);

}  // namespace vl5::market
