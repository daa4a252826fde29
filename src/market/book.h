// Python entry points of the depth-of-market queries.
#pragma once

#include <Python.h>

namespace vl5::market {

PyObject* PyMarketBookAdd(PyObject* self, PyObject* args);
PyObject* PyMarketBookRelease(PyObject* self, PyObject* args);
PyObject* PyMarketBookGet(PyObject* self, PyObject* args);

}  // namespace vl5::market
