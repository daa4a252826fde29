// Python entry points of the order and deal history.
#pragma once

#include <Python.h>

namespace vl5::trading {

PyObject* PyHistoryOrdersTotal(PyObject* self, PyObject* args);
PyObject* PyHistoryOrdersGet(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* PyHistoryDealsTotal(PyObject* self, PyObject* args);
PyObject* PyHistoryDealsGet(PyObject* self, PyObject* args, PyObject* kwargs);

}  // namespace vl5::trading
