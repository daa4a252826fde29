#include "src/market/symbols.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "src/link/protocol.h"
#include "src/session/session.h"
#include "src/market/symbol_arg.h"
#include "src/module/last_error.h"
#include "src/module/record_tuples.h"
#include "src/wire/commands.h"
#include "src/wire/records.h"
#include "src/wire/status.h"

namespace vl5::market {

namespace {

using py::ResultType;

bool SymbolListSupported() { return link::TerminalBuild() >= wire::kMinBuildSymbols; }

PyObject* CallFailed() { return py::SetErrorReturnNone(wire::kTerminalCallFailed); }

}  // namespace

PyObject* PySymbolsTotal(PyObject*, PyObject*) {
  py::LastError::Reset();
  if (!SymbolListSupported()) return py::SetErrorReturnNone(wire::kIncompatibleVersion);
  std::uint32_t count = 0;
  std::int32_t result = link::Exchange(
      wire::kCmdSymbolsTotal, [] { return link::SendCommand(wire::kCmdSymbolsTotal); },
      [&](std::uint32_t* echo, std::int32_t* status) { return link::ReadValueReply(echo, status, &count); });
  if (result < 0) return py::SetErrorReturnNone(result);
  return PyLong_FromUnsignedLong(count);
}

PyObject* PySymbolsGet(PyObject*, PyObject* args, PyObject* kwargs) {
  py::LastError::Reset();
  py::GroupText group;
  Py_ssize_t positional = PyTuple_GET_SIZE(args);
  if (positional > 1) return py::SetErrorReturnFalse(wire::kInvalidParams, py::kInvalidNumberOfArguments);
  if (positional == 1 && !py::ConvertText(PyTuple_GET_ITEM(args, 0), &group)) {
    return py::SetErrorReturnFalse(wire::kInvalidParams, py::PositionalMessage(1));
  }
  if (PyObject* v = py::Keyword(kwargs, "group"); v != nullptr && !py::ConvertText(v, &group)) {
    return py::SetErrorReturnFalse(wire::kInvalidParams, py::KeywordMessage("group"));
  }
  if (!SymbolListSupported()) return py::SetErrorReturnNone(wire::kIncompatibleVersion);

  const std::uint32_t command = group.Empty() ? wire::kCmdSymbolsGet : wire::kCmdSymbolsGetGroup;
  std::unique_ptr<std::uint8_t[]> block;
  std::uint32_t count = 0;
  auto allocate = [&](std::uint32_t n) -> void* {
    block.reset(new (std::nothrow) std::uint8_t[std::size_t{n} * wire::kSymbolInfoSize]);
    return block.get();
  };
  std::int32_t result = link::Exchange(
      command,
      [&] { return group.Empty() ? link::SendCommand(command) : link::SendCommandString(command, group.View()); },
      [&](std::uint32_t* echo, std::int32_t* status) {
        return link::ReadRecordListReply(echo, status, wire::kSymbolInfoSize, allocate, &count);
      });
  if (result < 0) return py::SetErrorReturnNone(result);
  py::PyRef symbols =
      py::BuildRecordTuples(ResultType::kSymbolInfo, wire::kSymbolInfoFields, block.get(), count, wire::kSymbolInfoSize);
  return symbols ? symbols.release() : CallFailed();
}

PyObject* PySymbolInfo(PyObject*, PyObject* args) {
  py::LastError::Reset();
  py::SymbolText symbol;
  if (!OneSymbol(args, &symbol)) return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidArguments);
  std::uint8_t record[wire::kSymbolInfoSize] = {};
  // Older terminals send the record without its trailing name field.
  const bool old_build = !SymbolListSupported();
  const std::uint32_t size = old_build ? wire::kSymbolInfoSizeOld : wire::kSymbolInfoSize;
  std::int32_t result = link::Exchange(
      wire::kCmdSymbolInfo, [&] { return link::SendCommandString(wire::kCmdSymbolInfo, symbol.View()); },
      [&](std::uint32_t* echo, std::int32_t* status) {
        return link::ReadSingleRecordReply(echo, status, record, size);
      });
  if (result < 0) return py::SetErrorReturnNone(result);
  if (old_build) {
    std::u16string_view name = symbol.View();
    std::memcpy(record + wire::kSymbolInfoSizeOld, name.data(), 2 * name.size());  // rest stays zero
  }
  py::PyRef info = py::BuildRecordTuple(ResultType::kSymbolInfo, wire::kSymbolInfoFields, record);
  return info ? info.release() : CallFailed();
}

PyObject* PySymbolInfoTick(PyObject*, PyObject* args) {
  py::LastError::Reset();
  py::SymbolText symbol;
  if (!OneSymbol(args, &symbol)) return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidArguments);
  std::uint8_t record[wire::kTickRecordSize] = {};
  std::int32_t result = link::Exchange(
      wire::kCmdSymbolInfoTick, [&] { return link::SendCommandString(wire::kCmdSymbolInfoTick, symbol.View()); },
      [&](std::uint32_t* echo, std::int32_t* status) {
        return link::ReadSingleRecordReply(echo, status, record, sizeof(record));
      });
  if (result < 0) return py::SetErrorReturnNone(result);
  py::PyRef tick = py::BuildRecordTuple(ResultType::kTick, wire::kTickFields, record);
  return tick ? tick.release() : CallFailed();
}

PyObject* PySymbolSelect(PyObject*, PyObject* args) {
  py::LastError::Reset();
  py::SymbolText symbol;
  Py_ssize_t count = PyTuple_GET_SIZE(args);
  int enable = 1;
  PyObject* symbol_object = nullptr;
  if ((count != 1 && count != 2) || !PyArg_ParseTuple(args, "O|p", &symbol_object, &enable) ||
      !py::ConvertText(symbol_object, &symbol)) {
    return py::SetErrorReturnFalse(wire::kInvalidParams, py::kInvalidArguments);
  }
  std::int32_t result = link::Exchange(
      wire::kCmdSymbolSelect,
      [&] { return link::SendCommandStringFlag(wire::kCmdSymbolSelect, symbol.View(), enable != 0); },
      link::ReadStatusReply);
  if (result < 0) return py::SetErrorReturnFalse(result);
  Py_RETURN_TRUE;
}

}  // namespace vl5::market
