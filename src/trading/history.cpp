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

bool ConvertRange(PyObject* args, std::int32_t* from, std::int32_t* to) {
  return PyTuple_GET_SIZE(args) == 2 && py::ConvertDate(PyTuple_GET_ITEM(args, 0), from) &&
         py::ConvertDate(PyTuple_GET_ITEM(args, 1), to);
}

PyObject* CountHistory(const HistoryCommands& commands, PyObject* args) {
  py::LastError::Reset();
  std::int32_t from = 0, to = 0;
  if (!ConvertRange(args, &from, &to)) return InvalidArguments();
  return QueryCount(commands.total, from, to, true);
}

// Two dates select a range (other keywords but group ignored); otherwise a
// ticket or, failing that, a position keyword selects, without positionals.
PyObject* GetHistory(const RecordKind& kind, const HistoryCommands& commands, PyObject* args, PyObject* kwargs) {
  py::LastError::Reset();
  const Py_ssize_t positional = PyTuple_GET_SIZE(args);
  if (positional == 2) {
    std::int32_t from = 0, to = 0;
    if (!ConvertRange(args, &from, &to)) return InvalidArguments();
    PyObject* group_object = py::Keyword(kwargs, "group");
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
    PyObject* v = py::Keyword(kwargs, selector.keyword);
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

PyObject* PyHistoryOrdersTotal(PyObject*, PyObject* args) { return CountHistory(kOrderCommands, args); }

PyObject* PyHistoryOrdersGet(PyObject*, PyObject* args, PyObject* kwargs) {
  return GetHistory(kOrderRecords, kOrderCommands, args, kwargs);
}

PyObject* PyHistoryDealsTotal(PyObject*, PyObject* args) { return CountHistory(kDealCommands, args); }

PyObject* PyHistoryDealsGet(PyObject*, PyObject* args, PyObject* kwargs) {
  return GetHistory(kDealRecords, kDealCommands, args, kwargs);
}

}  // namespace vl5::trading
