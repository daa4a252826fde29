#include "src/trading/requests.h"

#include <cstdint>
#include <cstring>

#include "src/link/protocol.h"
#include "src/module/args.h"
#include "src/module/last_error.h"
#include "src/module/record_tuples.h"
#include "src/wire/commands.h"
#include "src/wire/status.h"
#include "src/wire/trade_records.h"

namespace vl5::trading {

namespace {

using wire::FieldKind;

// Text fields take a whole symbol-class buffer.
static_assert(wire::FindField(wire::kTradeRequestFields, "symbol")->size == sizeof(py::SymbolText::units));
static_assert(wire::FindField(wire::kTradeRequestFields, "comment")->size == sizeof(py::SymbolText::units));

constexpr char kAutoTradingDisabled[] = "Auto-Trading using Python API disabled in Terminal";

// Converts one dictionary value into its record field, by the field's kind.
bool ConvertField(PyObject* value, const wire::Field& field, std::uint8_t* record) {
  switch (field.kind) {
    case FieldKind::kU32: {
      std::uint32_t v = 0;
      if (!py::ConvertInteger(value, &v)) return false;
      wire::Store(record, field.offset, v);
      return true;
    }
    case FieldKind::kU64: {
      std::uint64_t v = 0;
      if (!py::ConvertInteger(value, &v)) return false;
      wire::Store(record, field.offset, v);
      return true;
    }
    case FieldKind::kI64: {
      std::int64_t v = 0;
      if (!py::ConvertInteger(value, &v)) return false;
      wire::Store(record, field.offset, v);
      return true;
    }
    case FieldKind::kF64: {
      double v = 0;
      if (!py::ConvertFloat(value, &v)) return false;
      wire::Store(record, field.offset, v);
      return true;
    }
    case FieldKind::kText: {
      py::SymbolText text;
      if (!py::ConvertText(value, &text)) return false;
      // The whole buffer, as converted: units after an embedded zero go too.
      std::memcpy(record + field.offset, text.units, sizeof(text.units));
      return true;
    }
    default:
      return false;
  }
}

// Fills the zeroed record from a dict, key by key in the record's order.
// Returns null, or the message naming the first refused value.
const char* ParseTradeRequest(PyObject* request, std::uint8_t* record) {
  if (request == nullptr || !PyDict_Check(request)) return py::kInvalidArguments;
  std::memset(record, 0, wire::kTradeRequestSize);
  for (const wire::Field& field : wire::kTradeRequestFields) {
    PyObject* value = PyDict_GetItemString(request, field.name);
    if (value != nullptr && !ConvertField(value, field, record)) return py::KeywordMessage(field.name);
  }
  return nullptr;
}

template <std::size_t Size, std::size_t N>
PyObject* TradeExchange(std::uint32_t command, py::ResultType type, const wire::Field (&fields)[N],
                        const py::Args& args) {
  PyObject* request = nullptr;
  py::PyRef keywords;  // the fields given as keywords
  if (args.KeywordCount() > 0) {
    if (args.Count() != 0) return py::SetErrorReturnNone(wire::kInvalidParams, py::kUnnamedNotAllowed);
    keywords = py::PyRef::Steal(args.KeywordDict());
    if (!keywords) return py::SetErrorReturnNone(wire::kOutOfMemory, "No memory");
    request = keywords.get();
  } else {
    if (args.Count() != 1) return py::SetErrorReturnNone(wire::kInvalidParams, py::kInvalidNumberOfArguments);
    request = args[0];
  }
  std::uint8_t record[wire::kTradeRequestSize];
  if (const char* refused = ParseTradeRequest(request, record)) {
    return py::SetErrorReturnNone(wire::kInvalidParams, refused);
  }

  link::RecordBody<Size> reply;
  std::int32_t result =
      link::Exchange(link::Request(command).Bytes(record, sizeof(record)), link::Reply::Record(&reply));
  if (result == wire::kAutoTradingDisabled && command == wire::kCmdOrderSend) {
    return py::SetErrorReturnNone(result, kAutoTradingDisabled);
  }
  if (result < 0) return py::SetErrorReturnNone(result);

  py::PyRef sent = py::BuildRecordTuple(py::ResultType::kTradeRequest, wire::kTradeRequestFields, record);
  if (!sent) return py::SetErrorReturnNone(wire::kTerminalCallFailed);
  py::PyRef answer = py::BuildRecordTuple(type, fields, reply.Record(), std::move(sent));
  return answer ? answer.release() : py::SetErrorReturnNone(wire::kTerminalCallFailed);
}

}  // namespace

PyObject* PyOrderCheck(const py::Args& args) {
  return TradeExchange<wire::kOrderCheckResultSize>(wire::kCmdOrderCheck, py::ResultType::kOrderCheckResult,
                                                    wire::kOrderCheckResultFields, args);
}

PyObject* PyOrderSend(const py::Args& args) {
  return TradeExchange<wire::kOrderSendResultSize>(wire::kCmdOrderSend, py::ResultType::kOrderSendResult,
                                                   wire::kOrderSendResultFields, args);
}

}  // namespace vl5::trading
