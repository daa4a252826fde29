// Python entry points of the symbol queries.
#pragma once

#include <Python.h>

namespace vl5::market {

PyObject* PySymbolsTotal(PyObject* self, PyObject* args);
PyObject* PySymbolsGet(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* PySymbolInfo(PyObject* self, PyObject* args);
PyObject* PySymbolInfoTick(PyObject* self, PyObject* args);
PyObject* PySymbolSelect(PyObject* self, PyObject* args);

}  // namespace vl5::market
