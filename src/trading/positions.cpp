#include "src/trading/positions.h"

#include <cstdint>

#include "src/module/args.h"
#include "src/module/last_error.h"
#include "src/trading/record_query.h"
#include "src/wire/commands.h"
#include "src/wire/status.h"

namespace vl5::trading {

namespace {

struct OpenCommands {
  std::uint32_t total, all, by_symbol, by_ticket;
};
constexpr OpenCommands kPositionCommands = {wire::kCmdPositionsTotal, wire::kCmdPositionsGet,
                                            wire::kCmdPositionsGetSymbol, wire::kCmdPositionsGetTicket};
constexpr OpenCommands kOrderCommands = {wire::kCmdOrdersTotal, wire::kCmdOrdersGet, wire::kCmdOrdersGetSymbol,
                                         wire::kCmdOrdersGetTicket};

PyObject* Invalid(const char* keyword) {
  return py::SetErrorReturnNone(wire::kInvalidParams, py::KeywordMessage(keyword));
}

// The first of ticket, symbol and group that is present picks the query;
// the later ones are not even examined.
PyObject* GetOpen(const RecordKind& kind, const OpenCommands& commands, const py::Args& args) {
  if (args.Count() > 0) return py::SetErrorReturnNone(wire::kInvalidParams, py::kUnnamedNotAllowed);
  if (PyObject* v = args.Keyword("ticket")) {
    std::uint64_t ticket = 0;
    if (!py::ConvertInteger(v, &ticket)) return Invalid("ticket");
    return QueryTicket(kind, commands.by_ticket, ticket);
  }
  if (PyObject* v = args.Keyword("symbol")) {
    py::SymbolText symbol;
    if (!py::ConvertText(v, &symbol)) return Invalid("symbol");
    return QueryBySymbol(kind, commands.by_symbol, symbol);
  }
  if (PyObject* v = args.Keyword("group")) {
    py::GroupText group;
    if (!py::ConvertText(v, &group)) return Invalid("group");
    return QueryAll(kind, commands.all, &group);
  }
  return QueryAll(kind, commands.all, nullptr);
}

}  // namespace

PyObject* PyPositionsTotal(PyObject*, PyObject*) { return QueryCount(kPositionCommands.total, 0, 0, false); }

PyObject* PyPositionsGet(const py::Args& args) { return GetOpen(kPositionRecords, kPositionCommands, args); }

PyObject* PyOrdersTotal(PyObject*, PyObject*) { return QueryCount(kOrderCommands.total, 0, 0, false); }

PyObject* PyOrdersGet(const py::Args& args) { return GetOpen(kOrderRecords, kOrderCommands, args); }

}  // namespace vl5::trading
