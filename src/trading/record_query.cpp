#include "src/trading/record_query.h"

#include <cstring>
#include <memory>
#include <new>

#include "src/link/protocol.h"
#include "src/module/last_error.h"
#include "src/module/record_tuples.h"
#include "src/mask/group_mask.h"
#include "src/wire/status.h"
#include "src/wire/trade_records.h"

namespace vl5::trading {

namespace {

template <std::size_t N>
constexpr RecordKind Kind(py::ResultType type, const wire::Field (&fields)[N], std::uint32_t size) {
  return {type, fields, N, size, wire::FindField(fields, "symbol")->offset};
}

struct RecordList {
  std::unique_ptr<std::uint8_t[]> block;
  std::uint32_t count = 0;
};

// One request answered by a list of `kind` records.
std::int32_t ExchangeList(const RecordKind& kind, const link::Request& request, RecordList* list) {
  auto allocate = [&](std::uint32_t n) -> void* {
    list->block.reset(new (std::nothrow) std::uint8_t[std::size_t{n} * kind.size]);
    return list->block.get();
  };
  return link::Exchange(request, link::Reply::List(kind.size, allocate, &list->count));
}

// Keeps, in reply order, the records whose symbol passes the mask. The list
// is compacted in place, so the filter needs no second block.
void FilterByGroup(const RecordKind& kind, const py::GroupText& group, RecordList* list) {
  std::uint32_t kept = 0;
  for (std::uint32_t i = 0; i < list->count; ++i) {
    std::uint8_t* record = list->block.get() + std::size_t{i} * kind.size;
    char16_t symbol[wire::kTradeSymbolUnits + 1] = {};
    std::memcpy(symbol, record + kind.symbol_offset, 2 * wire::kTradeSymbolUnits);  // field may lack a zero
    if (!mask::MatchGroupMask(group.units, symbol)) continue;
    if (kept != i) std::memmove(list->block.get() + std::size_t{kept} * kind.size, record, kind.size);
    ++kept;
  }
  list->count = kept;
}

PyObject* BuildList(const RecordKind& kind, const std::uint8_t* records, std::uint32_t count) {
  py::PyRef list = py::BuildRecordTuples(kind.type, kind.fields, kind.field_count, records, count, kind.size);
  return list ? list.release() : py::SetErrorReturnNone(wire::kTerminalCallFailed);
}

PyObject* QueryList(const RecordKind& kind, const link::Request& request, const py::GroupText* group) {
  RecordList list;
  std::int32_t result = ExchangeList(kind, request, &list);
  if (result < 0) return py::SetErrorReturnNone(result);
  if (group != nullptr) FilterByGroup(kind, *group, &list);
  return BuildList(kind, list.block.get(), list.count);
}

}  // namespace

const RecordKind kPositionRecords =
    Kind(py::ResultType::kTradePosition, wire::kTradePositionFields, wire::kTradePositionSize);
const RecordKind kOrderRecords = Kind(py::ResultType::kTradeOrder, wire::kTradeOrderFields, wire::kTradeOrderSize);
const RecordKind kDealRecords = Kind(py::ResultType::kTradeDeal, wire::kTradeDealFields, wire::kTradeDealSize);

PyObject* QueryCount(std::uint32_t command, std::int64_t from, std::int64_t to, bool ranged) {
  std::uint32_t count = 0;
  link::Request request(command);
  if (ranged) request.Value(from).Value(to);
  std::int32_t result = link::Exchange(request, link::Reply::Value(&count));
  if (result < 0) return py::SetErrorReturnNone(result);
  return PyLong_FromUnsignedLong(count);
}

PyObject* QueryAll(const RecordKind& kind, std::uint32_t command, const py::GroupText* group) {
  return QueryList(kind, link::Request(command), group);
}

PyObject* QueryBySymbol(const RecordKind& kind, std::uint32_t command, const py::SymbolText& symbol) {
  return QueryList(kind, link::Request(command).Counted(symbol.View()), nullptr);
}

PyObject* QueryById(const RecordKind& kind, std::uint32_t command, std::uint64_t id) {
  return QueryList(kind, link::Request(command).Value(id), nullptr);
}

PyObject* QueryRange(const RecordKind& kind, std::uint32_t command, std::int64_t from, std::int64_t to,
                     const py::GroupText* group) {
  return QueryList(kind, link::Request(command).Value(from).Value(to), group);
}

PyObject* QueryTicket(const RecordKind& kind, std::uint32_t command, std::uint64_t ticket) {
  static_assert(wire::kTradeOrderSize >= wire::kTradePositionSize && wire::kTradeOrderSize >= wire::kTradeDealSize);
  link::RecordBody<wire::kTradeOrderSize> body;  // room for the largest of the three records
  std::int32_t result = link::Exchange(link::Request(command).Value(ticket), link::Reply::Record(&body, kind.size));
  if (result < 0 && result != wire::kNotFound) return py::SetErrorReturnNone(result);
  // Only a positive status vouches for the record. A terminal may answer a
  // ticket it lacks with status 0 and a zeroed or stale record, which must
  // not reach the caller as a position with ticket 0 or random fields.
  if (result <= 0) return PyTuple_New(0);
  return BuildList(kind, body.Record(), 1);
}

}  // namespace vl5::trading
