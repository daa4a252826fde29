#include "src/trading/calc.h"

#include <cstdint>
#include <cstring>

#include "src/link/protocol.h"
#include "src/module/args.h"
#include "src/module/last_error.h"
#include "src/wire/commands.h"
#include "src/wire/status.h"

namespace vl5::trading {

namespace {

// action, counted symbol, then `count` doubles; the reply is one double.
PyObject* Calculate(std::uint32_t command, std::uint32_t action, const py::SymbolText& symbol, const double* values,
                    std::uint32_t count) {
  link::RecordBody<sizeof(double)> body;
  std::int32_t result =
      link::Exchange(link::Request(command).Value(action).Counted(symbol.View()).Bytes(values, sizeof(double) * count),
                     link::Reply::Record(&body));
  if (result < 0) return py::SetErrorReturnNone(result);
  double value = 0;
  std::memcpy(&value, body.Record(), sizeof(value));
  return PyFloat_FromDouble(value);
}

PyObject* InvalidArguments() { return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidArguments); }

}  // namespace

PyObject* PyOrderCalcMargin(const py::Args& args) {
  unsigned long action = 0;  // "k": taken modulo 2^32 without a range check
  PyObject* symbol_object = nullptr;
  double values[2];
  py::SymbolText symbol;
  if (args.Count() != 4 || !py::ParseArgs(args, "kOdd", &action, &symbol_object, &values[0], &values[1]) ||
      !py::ConvertText(symbol_object, &symbol)) {
    return InvalidArguments();
  }
  return Calculate(wire::kCmdOrderCalcMargin, static_cast<std::uint32_t>(action), symbol, values, 2);
}

PyObject* PyOrderCalcProfit(const py::Args& args) {
  unsigned long action = 0;
  PyObject* symbol_object = nullptr;
  double values[3];
  py::SymbolText symbol;
  if (args.Count() != 5 || !py::ParseArgs(args, "kOddd", &action, &symbol_object, &values[0], &values[1], &values[2]) ||
      !py::ConvertText(symbol_object, &symbol)) {
    return InvalidArguments();
  }
  return Calculate(wire::kCmdOrderCalcProfit, static_cast<std::uint32_t>(action), symbol, values, 3);
}

}  // namespace vl5::trading
