// Python entry points of the order and deal history.
#pragma once

#include <Python.h>

#include "src/module/args.h"

namespace vl5::trading {

PyObject* PyHistoryOrdersTotal(const py::Args& args);
PyObject* PyHistoryOrdersGet(const py::Args& args);
PyObject* PyHistoryDealsTotal(const py::Args& args);
PyObject* PyHistoryDealsGet(const py::Args& args);

}  // namespace vl5::trading
