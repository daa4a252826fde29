// The one-symbol argument shared by the symbol and depth-of-market queries.
#pragma once

#include <Python.h>

#include "src/module/args.h"

namespace vl5::market {

// Exactly one positional argument that is a symbol name.
inline bool OneSymbol(const py::Args& args, py::SymbolText* symbol) {
  return args.Count() == 1 && py::ConvertText(args[0], symbol);
}

}  // namespace vl5::market
