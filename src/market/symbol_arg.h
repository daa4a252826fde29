// The one-symbol argument shared by the symbol and depth-of-market queries.
#pragma once

#include <Python.h>

#include "src/module/args.h"

namespace vl5::market {

// Exactly one positional argument that is a symbol name.
inline bool OneSymbol(PyObject* args, py::SymbolText* symbol) {
  return PyTuple_GET_SIZE(args) == 1 && py::ConvertText(PyTuple_GET_ITEM(args, 0), symbol);
}

}  // namespace vl5::market
