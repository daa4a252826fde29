#include "src/market/book.h"

#include <cstdint>
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

// Subscribing and unsubscribing differ only in the command.
PyObject* BookSubscription(std::uint32_t command, const py::Args& args) {
  py::SymbolText symbol;
  // An argument error answers None, not False, for these two as well.
  if (!OneSymbol(args, &symbol)) return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidArguments);
  std::int32_t result = link::Exchange(link::Request(command).Counted(symbol.View()), link::Reply::Status());
  if (result < 0) return py::SetErrorReturnFalse(result);
  Py_RETURN_TRUE;
}

}  // namespace

PyObject* PyMarketBookAdd(const py::Args& args) { return BookSubscription(wire::kCmdMarketBookAdd, args); }

PyObject* PyMarketBookRelease(const py::Args& args) { return BookSubscription(wire::kCmdMarketBookRelease, args); }

PyObject* PyMarketBookGet(const py::Args& args) {
  py::SymbolText symbol;
  if (!OneSymbol(args, &symbol)) return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidArguments);
  std::unique_ptr<std::uint8_t[]> block;
  std::uint32_t count = 0;
  auto allocate = [&](std::uint32_t n) -> void* {
    block.reset(new (std::nothrow) std::uint8_t[std::size_t{n} * wire::kBookInfoSize]);
    return block.get();
  };
  std::int32_t result = link::Exchange(link::Request(wire::kCmdMarketBookGet).Counted(symbol.View()),
                                       link::Reply::List(wire::kBookInfoSize, allocate, &count));
  if (result < 0) return py::SetErrorReturnNone(result);
  py::PyRef entries =
      py::BuildRecordTuples(py::ResultType::kBookInfo, wire::kBookInfoFields, block.get(), count, wire::kBookInfoSize);
  return entries ? entries.release() : py::SetErrorReturnNone(wire::kTerminalCallFailed);
}

}  // namespace vl5::market
