// The eleven result named tuples (struct-sequence types) and their shared
// _asdict method.
#pragma once

#include <Python.h>

#include "src/module/pyref.h"

namespace vl5::py {

enum class ResultType {
  kTradePosition,
  kTradeOrder,
  kTradeDeal,
  kTradeRequest,
  kOrderSendResult,
  kOrderCheckResult,
  kTick,
  kTerminalInfo,
  kSymbolInfo,
  kAccountInfo,
  kBookInfo,
};
inline constexpr int kResultTypeCount = 11;

PyTypeObject* TypeObject(ResultType type);

// Creates the types from the wire tables and adds them to the module under
// their names: 0, or -1 with the Python exception set, which fails the import.
int RegisterResultTypes(PyObject* module);

// A new instance with every item null: fill each with PyStructSequence_SET_ITEM.
PyRef NewResult(ResultType type);

}  // namespace vl5::py
