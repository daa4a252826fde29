#include "src/market/info.h"

#include <cstdint>

#include "src/link/protocol.h"
#include "src/module/last_error.h"
#include "src/module/record_tuples.h"
#include "src/wire/commands.h"
#include "src/wire/records.h"
#include "src/wire/status.h"

namespace vl5::market {

namespace {

// One command-only request answered by one fixed record.
template <std::size_t Size, std::size_t N>
PyObject* QueryRecord(std::uint32_t command, py::ResultType type, const wire::Field (&fields)[N]) {
  link::RecordBody<Size> body;
  std::int32_t result = link::Exchange(link::Request(command), link::Reply::Record(&body));
  if (result < 0) return py::SetErrorReturnNone(result);
  py::PyRef info = py::BuildRecordTuple(type, fields, body.Record());
  return info ? info.release() : py::SetErrorReturnNone(wire::kTerminalCallFailed);
}

}  // namespace

PyObject* PyTerminalInfo(PyObject*, PyObject*) {
  return QueryRecord<wire::kTerminalInfoSize>(wire::kCmdTerminalInfo, py::ResultType::kTerminalInfo,
                                              wire::kTerminalInfoFields);
}

PyObject* PyAccountInfo(PyObject*, PyObject*) {
  return QueryRecord<wire::kAccountInfoSize>(wire::kCmdAccountInfo, py::ResultType::kAccountInfo,
                                             wire::kAccountInfoFields);
}

}  // namespace vl5::market
