// Python entry points of the margin and profit calculations.
#pragma once

#include <Python.h>

namespace vl5::trading {

PyObject* PyOrderCalcMargin(PyObject* self, PyObject* args);
PyObject* PyOrderCalcProfit(PyObject* self, PyObject* args);

}  // namespace vl5::trading
