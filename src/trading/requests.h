// Python entry points of the trade requests: order_check and order_send.
#pragma once

#include <Python.h>

#include "src/module/args.h"

namespace vl5::trading {

PyObject* PyOrderCheck(const py::Args& args);
PyObject* PyOrderSend(const py::Args& args);

}  // namespace vl5::trading
