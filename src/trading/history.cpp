#include "src/trading/history.h"

#include <cstdint>

#include "src/module/args.h"
#include "src/module/last_error.h"
#include "src/trading/record_query.h"
#include "src/wire/commands.h"
#include "src/wire/status.h"

namespace vl5::trading {

namespace {

struct HistoryCommands {
  std::uint32_t total, range, by_position, by_ticket;
};
constexpr HistoryCommands kOrderCommands = {wire::kCmdHistoryOrdersTotal, wire::kCmdHistoryOrdersGet,
                                            wire::kCmdHistoryOrdersGetPosition, wire::kCmdHistoryOrdersGetTicket};
constexpr HistoryCommands kDealCommands = {wire::kCmdHistoryDealsTotal, wire::kCmdHistoryDealsGet,
                                           wire::kCmdHistoryDealsGetPosition, wire::kCmdHistoryDealsGetTicket};

PyObject* InvalidArguments() { return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidArguments); }

bool ConvertRange(const py::Args& args, std::int32_t* from, std::int32_t* to) {
  return args.Count() == 2 && py::ConvertDate(args[0], from) && py::ConvertDate(args[1], to);
}

PyObject* CountHistory(const HistoryCommands& commands, const py::Args& args) {
  std::int32_t from = 0, to = 0;
  if (!ConvertRange(args, &from, &to)) return InvalidArguments();
  return QueryCount(commands.total, from, to, true);
}

// Two dates select a range (other keywords but group ignored); otherwise a
// ticket or, failing that, a position keyword selects, without positionals.
PyObject* GetHistory(const RecordKind& kind, const HistoryCommands& commands, const py::Args& args) {
  const Py_ssize_t positional = args.Count();
  if (positional == 2) {
    std::int32_t from = 0, to = 0;
    if (!ConvertRange(args, &from, &to)) return InvalidArguments();
    PyObject* group_object = args.Keyword("group");
    if (group_object == nullptr) return QueryRange(kind, commands.range, from, to, nullptr);
    py::GroupText group;
    if (!py::ConvertText(group_object, &group)) {
      return py::SetErrorReturnNone(wire::kInvalidParams, py::KeywordMessage("group"));
    }
    return QueryRange(kind, commands.range, from, to, &group);
  }
  struct Selector {
    const char* keyword;
    bool ticket;
  };
  for (Selector selector : {Selector{"ticket", true}, Selector{"position", false}}) {
    PyObject* v = args.Keyword(selector.keyword);
    if (v == nullptr) continue;
    if (positional > 0) return py::SetErrorReturnNone(wire::kInvalidParams, py::kUnnamedNotAllowed);
    std::uint64_t id = 0;
    if (!py::ConvertInteger(v, &id)) {
      return py::SetErrorReturnNone(wire::kInvalidParams, py::KeywordMessage(selector.keyword));
    }
    return selector.ticket ? QueryTicket(kind, commands.by_ticket, id) : QueryById(kind, commands.by_position, id);
  }
  return InvalidArguments();
}

}  // namespace

PyObject* PyHistoryOrdersTotal(const py::Args& args) { return CountHistory(kOrderCommands, args); }

PyObject* PyHistoryOrdersGet(const py::Args& args) { return GetHistory(kOrderRecords, kOrderCommands, args); }

PyObject* PyHistoryDealsTotal(const py::Args& args) { return CountHistory(kDealCommands, args); }

PyObject* PyHistoryDealsGet(const py::Args& args) { return GetHistory(kDealRecords, kDealCommands, args); }

}  // namespace vl5::trading
