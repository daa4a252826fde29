// Python entry points of the symbol queries.
#pragma once

#include <Python.h>

#include "src/module/args.h"

namespace vl5::market {

PyObject* PySymbolsTotal(PyObject* self, PyObject* args);
PyObject* PySymbolsGet(const py::Args& args);
PyObject* PySymbolInfo(const py::Args& args);
PyObject* PySymbolInfoTick(const py::Args& args);
PyObject* PySymbolSelect(const py::Args& args);

}  // namespace vl5::market
