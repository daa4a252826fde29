#include "src/market/rates.h"

#include <cstdint>

#include "src/link/protocol.h"
#include "src/module/args.h"
#include "src/module/last_error.h"
#include "src/module/record_arrays.h"
#include "src/wire/commands.h"
#include "src/wire/status.h"

namespace vl5::market {

namespace {

using py::RecordKind;

constexpr char kNoMemory[] = "No memory";

// One exchange whose records land directly in the memory of the returned array.
// `request` holds the counted symbol, then the query's fixed fields.
PyObject* CopyRecords(const link::Request& request, RecordKind kind) {
  py::PyRef array;
  bool no_memory = false;
  auto allocate = [&](std::uint32_t count) -> void* {
    array = py::NewRecordArray(kind, count);
    no_memory = !array;
    return array ? py::RecordData(array.get()) : nullptr;
  };
  std::uint32_t count = 0;
  std::int32_t result = link::Exchange(request, link::Reply::List(py::kRecordSize, allocate, &count));
  if (no_memory) return py::SetErrorReturnNone(wire::kOutOfMemory, kNoMemory);
  if (result < 0) return py::SetErrorReturnNone(result);
  py::SealRecordArray(array.get());
  return array.release();
}

PyObject* InvalidArguments() { return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidArguments); }

bool HasFourArguments(const py::Args& args) { return args.Count() == 4; }

std::int64_t Milliseconds(std::int32_t seconds) { return std::int64_t{seconds} * 1000; }

}  // namespace

PyObject* PyCopyTicksFrom(const py::Args& args) {
  PyObject *symbol_object, *date_object;
  int count, flags;
  py::SymbolText symbol;
  std::int32_t from = 0;
  if (!HasFourArguments(args) || !py::ParseArgs(args, "OOii", &symbol_object, &date_object, &count, &flags) ||
      !py::ConvertText(symbol_object, &symbol) || !py::ConvertDate(date_object, &from)) {
    return InvalidArguments();
  }
  return CopyRecords(link::Request(wire::kCmdCopyTicksFrom)
                         .Counted(symbol.View())
                         .Value(Milliseconds(from))
                         .Value<std::int32_t>(count)
                         .Value<std::int32_t>(flags),
                     RecordKind::kTicks);
}

PyObject* PyCopyTicksRange(const py::Args& args) {
  PyObject *symbol_object, *from_object, *to_object;
  int flags;
  py::SymbolText symbol;
  std::int32_t from = 0, to = 0;
  if (!HasFourArguments(args) || !py::ParseArgs(args, "OOOi", &symbol_object, &from_object, &to_object, &flags) ||
      !py::ConvertText(symbol_object, &symbol) || !py::ConvertDate(from_object, &from) ||
      !py::ConvertDate(to_object, &to)) {
    return InvalidArguments();
  }
  return CopyRecords(link::Request(wire::kCmdCopyTicksRange)
                         .Counted(symbol.View())
                         .Value(Milliseconds(from))
                         .Value(Milliseconds(to))
                         .Value<std::int32_t>(flags),
                     RecordKind::kTicks);
}

PyObject* PyCopyRatesFrom(const py::Args& args) {
  PyObject *symbol_object, *date_object;
  int timeframe, count;
  py::SymbolText symbol;
  std::int32_t from = 0;
  if (!HasFourArguments(args) || !py::ParseArgs(args, "OiOi", &symbol_object, &timeframe, &date_object, &count) ||
      !py::ConvertText(symbol_object, &symbol) || !py::ConvertDate(date_object, &from)) {
    return InvalidArguments();
  }
  return CopyRecords(link::Request(wire::kCmdCopyRatesFrom)
                         .Counted(symbol.View())
                         .Value<std::int32_t>(timeframe)
                         .Value<std::int64_t>(from)
                         .Value<std::int32_t>(count),
                     RecordKind::kRates);
}

PyObject* PyCopyRatesFromPos(const py::Args& args) {
  PyObject* symbol_object;
  int timeframe, start, count;
  py::SymbolText symbol;
  if (!HasFourArguments(args) || !py::ParseArgs(args, "Oiii", &symbol_object, &timeframe, &start, &count) ||
      !py::ConvertText(symbol_object, &symbol)) {
    return InvalidArguments();
  }
  return CopyRecords(link::Request(wire::kCmdCopyRatesFromPos)
                         .Counted(symbol.View())
                         .Value<std::int32_t>(timeframe)
                         .Value<std::int32_t>(start)
                         .Value<std::int32_t>(count),
                     RecordKind::kRates);
}

PyObject* PyCopyRatesRange(const py::Args& args) {
  PyObject *symbol_object, *from_object, *to_object;
  int timeframe;
  py::SymbolText symbol;
  std::int32_t from = 0, to = 0;
  if (!HasFourArguments(args) || !py::ParseArgs(args, "OiOO", &symbol_object, &timeframe, &from_object, &to_object) ||
      !py::ConvertText(symbol_object, &symbol) || !py::ConvertDate(from_object, &from) ||
      !py::ConvertDate(to_object, &to)) {
    return InvalidArguments();
  }
  return CopyRecords(link::Request(wire::kCmdCopyRatesRange)
                         .Counted(symbol.View())
                         .Value<std::int32_t>(timeframe)
                         .Value<std::int64_t>(from)
                         .Value<std::int64_t>(to),
                     RecordKind::kRates);
}

}  // namespace vl5::market
