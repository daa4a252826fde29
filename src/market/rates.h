// Python entry points of the tick and bar queries: each returns the records
// as a read-only NumPy structured array.
#pragma once

#include <Python.h>

#include "src/module/args.h"

namespace vl5::market {

PyObject* PyCopyTicksFrom(const py::Args& args);
PyObject* PyCopyTicksRange(const py::Args& args);
PyObject* PyCopyRatesFrom(const py::Args& args);
PyObject* PyCopyRatesFromPos(const py::Args& args);
PyObject* PyCopyRatesRange(const py::Args& args);

}  // namespace vl5::market
