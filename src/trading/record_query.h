// The query shapes shared by positions, orders and history: a count, a
// record list (optionally narrowed by a group mask on this side), and a
// single-ticket lookup where "not found" is an empty result.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>

#include "src/module/args.h"
#include "src/module/result_types.h"
#include "src/wire/records.h"

namespace vl5::trading {

// What a record list holds: its record, the tuple it becomes, and where its
// symbol lies for the group filter.
struct RecordKind {
  py::ResultType type;
  const wire::Field* fields;
  std::size_t field_count;
  std::uint32_t size;
  std::uint32_t symbol_offset;
};

extern const RecordKind kPositionRecords;
extern const RecordKind kOrderRecords;
extern const RecordKind kDealRecords;

PyObject* QueryCount(std::uint32_t command, std::int64_t from, std::int64_t to, bool ranged);

// Sends `command` with no payload (group may be null), a string, an id or a
// range, reads the record list and builds the tuple.
PyObject* QueryAll(const RecordKind& kind, std::uint32_t command, const py::GroupText* group);
PyObject* QueryBySymbol(const RecordKind& kind, std::uint32_t command, const py::SymbolText& symbol);
PyObject* QueryById(const RecordKind& kind, std::uint32_t command, std::uint64_t id);
PyObject* QueryRange(const RecordKind& kind, std::uint32_t command, std::int64_t from, std::int64_t to,
                     const py::GroupText* group);
// One record by ticket when the status is positive; the terminal's "not
// found" and a status of 0 give an empty tuple.
PyObject* QueryTicket(const RecordKind& kind, std::uint32_t command, std::uint64_t ticket);

}  // namespace vl5::trading
