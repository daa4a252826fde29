#include "src/market/rates.h"

#include <cstdint>
#include <cstring>

#include "src/link/channel.h"
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

// The fixed fields that follow the symbol in a query, in wire order.
struct QueryFields {
  std::uint8_t bytes[20];
  std::uint32_t size = 0;

  template <typename T>
  QueryFields& Add(T value) {
    std::memcpy(bytes + size, &value, sizeof(value));
    size += sizeof(value);
    return *this;
  }
};

bool SendQuery(std::uint32_t command, std::u16string_view symbol, const QueryFields& fields) {
  link::PipeWriter writer(link::Client().Handle());
  return link::BeginFrame(&writer, command, link::CountedSize(symbol) + fields.size) &&
         link::AppendCounted(&writer, symbol) && writer.Append(fields.bytes, fields.size) && writer.Flush();
}

// One exchange whose records land directly in the memory of the returned array.
PyObject* CopyRecords(std::uint32_t command, RecordKind kind, const py::SymbolText& symbol,
                      const QueryFields& fields) {
  py::PyRef array;
  bool no_memory = false;
  auto allocate = [&](std::uint32_t count) -> void* {
    array = py::NewRecordArray(kind, count);
    no_memory = !array;
    return array ? py::RecordData(array.get()) : nullptr;
  };
  std::uint32_t count = 0;
  std::int32_t result = link::Exchange(
      command, [&] { return SendQuery(command, symbol.View(), fields); },
      [&](std::uint32_t* echo, std::int32_t* status) {
        return link::ReadRecordListReply(echo, status, py::kRecordSize, allocate, &count);
      });
  if (no_memory) return py::SetErrorReturnNone(wire::kOutOfMemory, kNoMemory);
  if (result < 0) return py::SetErrorReturnNone(result);
  py::SealRecordArray(array.get());
  return array.release();
}

PyObject* InvalidArguments() { return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidArguments); }

bool HasFourArguments(PyObject* args) { return PyTuple_GET_SIZE(args) == 4; }

std::int64_t Milliseconds(std::int32_t seconds) { return std::int64_t{seconds} * 1000; }

}  // namespace

PyObject* PyCopyTicksFrom(PyObject*, PyObject* args) {
  py::LastError::Reset();
  PyObject *symbol_object, *date_object;
  int count, flags;
  py::SymbolText symbol;
  std::int32_t from = 0;
  if (!HasFourArguments(args) || !PyArg_ParseTuple(args, "OOii", &symbol_object, &date_object, &count, &flags) ||
      !py::ConvertText(symbol_object, &symbol) || !py::ConvertDate(date_object, &from)) {
    return InvalidArguments();
  }
  return CopyRecords(wire::kCmdCopyTicksFrom, RecordKind::kTicks, symbol,
                     QueryFields().Add(Milliseconds(from)).Add<std::int32_t>(count).Add<std::int32_t>(flags));
}

PyObject* PyCopyTicksRange(PyObject*, PyObject* args) {
  py::LastError::Reset();
  PyObject *symbol_object, *from_object, *to_object;
  int flags;
  py::SymbolText symbol;
  std::int32_t from = 0, to = 0;
  if (!HasFourArguments(args) || !PyArg_ParseTuple(args, "OOOi", &symbol_object, &from_object, &to_object, &flags) ||
      !py::ConvertText(symbol_object, &symbol) || !py::ConvertDate(from_object, &from) ||
      !py::ConvertDate(to_object, &to)) {
    return InvalidArguments();
  }
  return CopyRecords(wire::kCmdCopyTicksRange, RecordKind::kTicks, symbol,
                     QueryFields().Add(Milliseconds(from)).Add(Milliseconds(to)).Add<std::int32_t>(flags));
}

PyObject* PyCopyRatesFrom(PyObject*, PyObject* args) {
  py::LastError::Reset();
  PyObject *symbol_object, *date_object;
  int timeframe, count;
  py::SymbolText symbol;
  std::int32_t from = 0;
  if (!HasFourArguments(args) ||
      !PyArg_ParseTuple(args, "OiOi", &symbol_object, &timeframe, &date_object, &count) ||
      !py::ConvertText(symbol_object, &symbol) || !py::ConvertDate(date_object, &from)) {
    return InvalidArguments();
  }
  return CopyRecords(wire::kCmdCopyRatesFrom, RecordKind::kRates, symbol,
                     QueryFields().Add<std::int32_t>(timeframe).Add<std::int64_t>(from).Add<std::int32_t>(count));
}

PyObject* PyCopyRatesFromPos(PyObject*, PyObject* args) {
  py::LastError::Reset();
  PyObject* symbol_object;
  int timeframe, start, count;
  py::SymbolText symbol;
  if (!HasFourArguments(args) || !PyArg_ParseTuple(args, "Oiii", &symbol_object, &timeframe, &start, &count) ||
      !py::ConvertText(symbol_object, &symbol)) {
    return InvalidArguments();
  }
  return CopyRecords(wire::kCmdCopyRatesFromPos, RecordKind::kRates, symbol,
                     QueryFields().Add<std::int32_t>(timeframe).Add<std::int32_t>(start).Add<std::int32_t>(count));
}

PyObject* PyCopyRatesRange(PyObject*, PyObject* args) {
  py::LastError::Reset();
  PyObject *symbol_object, *from_object, *to_object;
  int timeframe;
  py::SymbolText symbol;
  std::int32_t from = 0, to = 0;
  if (!HasFourArguments(args) ||
      !PyArg_ParseTuple(args, "OiOO", &symbol_object, &timeframe, &from_object, &to_object) ||
      !py::ConvertText(symbol_object, &symbol) || !py::ConvertDate(from_object, &from) ||
      !py::ConvertDate(to_object, &to)) {
    return InvalidArguments();
  }
  return CopyRecords(wire::kCmdCopyRatesRange, RecordKind::kRates, symbol,
                     QueryFields().Add<std::int32_t>(timeframe).Add<std::int64_t>(from).Add<std::int64_t>(to));
}

}  // namespace vl5::market
