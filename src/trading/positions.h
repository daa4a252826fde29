// Python entry points of the open positions and current orders.
#pragma once

#include <Python.h>

#include "src/module/args.h"

namespace vl5::trading {

PyObject* PyPositionsTotal(PyObject* self, PyObject* args);
PyObject* PyPositionsGet(const py::Args& args);
PyObject* PyOrdersTotal(PyObject* self, PyObject* args);
PyObject* PyOrdersGet(const py::Args& args);

}  // namespace vl5::trading
