// Python entry points of the depth-of-market queries.
#pragma once

#include <Python.h>

#include "src/module/args.h"

namespace vl5::market {

PyObject* PyMarketBookAdd(const py::Args& args);
PyObject* PyMarketBookRelease(const py::Args& args);
PyObject* PyMarketBookGet(const py::Args& args);

}  // namespace vl5::market
