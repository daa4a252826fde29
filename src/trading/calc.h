// Python entry points of the margin and profit calculations.
#pragma once

#include <Python.h>

#include "src/module/args.h"

namespace vl5::trading {

PyObject* PyOrderCalcMargin(const py::Args& args);
PyObject* PyOrderCalcProfit(const py::Args& args);

}  // namespace vl5::trading
