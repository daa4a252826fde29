// Python entry points of the open positions and current orders.
#pragma once

#include <Python.h>

namespace vl5::trading {

PyObject* PyPositionsTotal(PyObject* self, PyObject* args);
PyObject* PyPositionsGet(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* PyOrdersTotal(PyObject* self, PyObject* args);
PyObject* PyOrdersGet(PyObject* self, PyObject* args, PyObject* kwargs);

}  // namespace vl5::trading
