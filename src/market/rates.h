// Python entry points of the tick and bar queries: each returns the records
// as a read-only NumPy structured array.
#pragma once

#include <Python.h>

namespace vl5::market {

PyObject* PyCopyTicksFrom(PyObject* self, PyObject* args);
PyObject* PyCopyTicksRange(PyObject* self, PyObject* args);
PyObject* PyCopyRatesFrom(PyObject* self, PyObject* args);
PyObject* PyCopyRatesFromPos(PyObject* self, PyObject* args);
PyObject* PyCopyRatesRange(PyObject* self, PyObject* args);

}  // namespace vl5::market
