#include "src/market/symbols.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "src/link/protocol.h"
#include "src/market/symbol_arg.h"
#include "src/module/last_error.h"
#include "src/module/record_tuples.h"
#include "src/wire/commands.h"
#include "src/wire/records.h"
#include "src/wire/status.h"

namespace vl5::market {

namespace {

using py::ResultType;

bool SymbolListSupported() { return link::Client().TerminalBuild() >= wire::kMinBuildSymbols; }

PyObject* CallFailed() { return py::SetErrorReturnNone(wire::kTerminalCallFailed); }

}  // namespace

PyObject* PySymbolsTotal(PyObject*, PyObject*) {
  if (!SymbolListSupported()) return py::SetErrorReturnNone(wire::kIncompatibleVersion);
  std::uint32_t count = 0;
  std::int32_t result = link::Exchange(link::Request(wire::kCmdSymbolsTotal), link::Reply::Value(&count));
  if (result < 0) return py::SetErrorReturnNone(result);
  return PyLong_FromUnsignedLong(count);
}

PyObject* PySymbolsGet(const py::Args& args) {
  py::GroupText group;
  Py_ssize_t positional = args.Count();
  if (positional > 1) return py::SetErrorReturnFalse(wire::kInvalidParams, py::kInvalidNumberOfArguments);
  if (positional == 1 && !py::ConvertText(args[0], &group)) {
    return py::SetErrorReturnFalse(wire::kInvalidParams, py::PositionalMessage(1));
  }
  if (PyObject* v = args.Keyword("group"); v != nullptr && !py::ConvertText(v, &group)) {
    return py::SetErrorReturnFalse(wire::kInvalidParams, py::KeywordMessage("group"));
  }
  if (!SymbolListSupported()) return py::SetErrorReturnNone(wire::kIncompatibleVersion);

  const std::uint32_t command = group.Empty() ? wire::kCmdSymbolsGet : wire::kCmdSymbolsGetGroup;
  py::RecordTupleList symbols(ResultType::kSymbolInfo, wire::kSymbolInfoFields, wire::kSymbolInfoSize);
  auto take = [&](std::uint32_t total, const std::uint8_t* records, std::uint32_t n) {
    return symbols.Take(total, records, n);
  };
  std::uint32_t count = 0;
  link::Request request(command);
  if (!group.Empty()) request.Counted(group.View());
  std::int32_t result = link::Exchange(request, link::Reply::Pieces(wire::kSymbolInfoSize, take, &count));
  if (symbols.Failed()) return CallFailed();
  if (result < 0) return py::SetErrorReturnNone(result);
  return symbols.Release().release();
}

PyObject* PySymbolInfo(const py::Args& args) {
  py::SymbolText symbol;
  if (!OneSymbol(args, &symbol)) return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidArguments);
  link::RecordBody<wire::kSymbolInfoSize> body;
  std::uint8_t* record = body.Record();
  // Older terminals send the record without its trailing name field.
  const bool old_build = !SymbolListSupported();
  const std::uint32_t size = old_build ? wire::kSymbolInfoSizeOld : wire::kSymbolInfoSize;
  std::int32_t result =
      link::Exchange(link::Request(wire::kCmdSymbolInfo).Counted(symbol.View()), link::Reply::Record(&body, size));
  if (result < 0) return py::SetErrorReturnNone(result);
  if (old_build) {
    std::u16string_view name = symbol.View();
    std::memcpy(record + wire::kSymbolInfoSizeOld, name.data(), 2 * name.size());  // rest stays zero
  }
  py::PyRef info = py::BuildRecordTuple(ResultType::kSymbolInfo, wire::kSymbolInfoFields, record);
  return info ? info.release() : CallFailed();
}

PyObject* PySymbolInfoTick(const py::Args& args) {
  py::SymbolText symbol;
  if (!OneSymbol(args, &symbol)) return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidArguments);
  link::RecordBody<wire::kTickRecordSize> body;
  std::int32_t result =
      link::Exchange(link::Request(wire::kCmdSymbolInfoTick).Counted(symbol.View()), link::Reply::Record(&body));
  if (result < 0) return py::SetErrorReturnNone(result);
  py::PyRef tick = py::BuildRecordTuple(ResultType::kTick, wire::kTickFields, body.Record());
  return tick ? tick.release() : CallFailed();
}

PyObject* PySymbolSelect(const py::Args& args) {
  py::SymbolText symbol;
  Py_ssize_t count = args.Count();
  int enable = 1;
  PyObject* symbol_object = nullptr;
  if ((count != 1 && count != 2) || !py::ParseArgs(args, "O|p", &symbol_object, &enable) ||
      !py::ConvertText(symbol_object, &symbol)) {
    return py::SetErrorReturnFalse(wire::kInvalidParams, py::kInvalidArguments);
  }
  std::int32_t result = link::Exchange(
      link::Request(wire::kCmdSymbolSelect).Counted(symbol.View()).Value<std::uint8_t>(enable != 0 ? 1 : 0),
      link::Reply::Status());
  if (result < 0) return py::SetErrorReturnFalse(result);
  Py_RETURN_TRUE;
}

}  // namespace vl5::market
