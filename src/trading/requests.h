// Python entry points of the trade requests: order_check and order_send.
#pragma once

#include <Python.h>

namespace vl5::trading {

PyObject* PyOrderCheck(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* PyOrderSend(PyObject* self, PyObject* args, PyObject* kwargs);

}  // namespace vl5::trading
