#include "src/module/result_types.h"

#include <cstddef>
#include <cstdio>
#include <iterator>

#include "src/module/fault_injection.h"
#include "src/module/last_error.h"
#include "src/wire/records.h"
#include "src/wire/status.h"
#include "src/wire/trade_records.h"

namespace vl5::py {

namespace {

// The longest table (symbols) plus the nested request and the terminator.
constexpr std::size_t kMaxFields = std::size(wire::kSymbolInfoFields) + 2;

struct ResultTypeInfo {
  const char* name;
  const char* doc;
  const wire::Field* fields;  // the wire table: the tuple's items, in order
  std::size_t field_count;
  bool with_request;  // one more item after the record: the trade request sent
  PyTypeObject* type;
};

template <std::size_t N>
constexpr ResultTypeInfo Info(const char* name, const char* doc, const wire::Field (&fields)[N],
                              bool with_request = false) {
  return {name, doc, fields, N, with_request, nullptr};
}

// In ResultType order, which is also the order of registration.
ResultTypeInfo g_types[kResultTypeCount] = {
    Info("TradePosition", "Trade position structure", wire::kTradePositionFields),
    Info("TradeOrder", "Trade order structure", wire::kTradeOrderFields),
    Info("TradeDeal", "Trade deal structure", wire::kTradeDealFields),
    Info("TradeRequest", "Trade request structure", wire::kTradeRequestFields),
    Info("OrderSendResult", "order_send result structure", wire::kOrderSendResultFields, true),
    Info("OrderCheckResult", "order_check result structure", wire::kOrderCheckResultFields, true),
    Info("Tick", "This is a structure for storing latest symbol prices", wire::kTickFields),
    Info("TerminalInfo", "This is a structure for storing terminal information", wire::kTerminalInfoFields),
    Info("SymbolInfo", "This is a structure for storing symbol information", wire::kSymbolInfoFields),
    Info("AccountInfo", "This is a structure for storing account information", wire::kAccountInfoFields),
    Info("BookInfo", "This is a structure for storing Depth of Market information", wire::kBookInfoFields),
};

constexpr char kRequestField[] = "request";

const char* FieldName(const ResultTypeInfo& info, std::size_t i) {
  return i < info.field_count ? info.fields[i].name : kRequestField;
}

std::size_t ItemCount(const ResultTypeInfo& info) { return info.field_count + (info.with_request ? 1 : 0); }

PyObject* AsDict(PyObject* self, PyObject*) {
  // The method is bound to its type, and the types cannot be subclassed.
  const ResultTypeInfo* found = nullptr;
  for (const ResultTypeInfo& info : g_types) {
    if (info.type == Py_TYPE(self)) found = &info;
  }
  if (found == nullptr) return SetErrorReturnNone(wire::kInvalidParams, "Invalid object type");
  const std::size_t count = ItemCount(*found);
  if (PyTuple_Size(self) != static_cast<Py_ssize_t>(count)) {
    return SetErrorReturnNone(wire::kInvalidParams, "Invalid tuple size");
  }
  PyRef dict = PyRef::Steal(PyDict_New());
  if (!dict) return SetErrorReturnNone(wire::kOutOfMemory, "Can't create dictionary");
  for (std::size_t i = 0; i < count; ++i) {
    PyObject* item = PyTuple_GetItem(self, static_cast<Py_ssize_t>(i));
    if (item != nullptr && PyDict_SetItemString(dict.get(), FieldName(*found, i), item) != 0) {
      PyErr_Clear();  // a failed store leaves the key out; nothing is raised
    }
  }
  if (PyErr_Occurred()) PyErr_Clear();
  return dict.release();
}

PyMethodDef g_asdict = {"_asdict", AsDict, METH_NOARGS, "Convert named tuple object to dictionary"};

// A struct-sequence type built by the interpreter (a heap type, whose
// attributes may be set), with _asdict bound to it. Created under a dotted
// name, which gives it its module, then named as before: instances print as
// "Tick(time=..., ...)", the types as the interpreter's own.
PyTypeObject* NewResultType(const ResultTypeInfo& info) {
  // Kept for the type's lifetime: older interpreters point into them.
  static PyStructSequence_Field fields[kResultTypeCount][kMaxFields];
  static char dotted_names[kResultTypeCount][64];
  const std::ptrdiff_t index = &info - g_types;
  PyStructSequence_Field* own = fields[index];
  const std::size_t count = ItemCount(info);
  for (std::size_t i = 0; i < count; ++i) own[i] = {FieldName(info, i), nullptr};
  own[count] = {nullptr, nullptr};
  std::snprintf(dotted_names[index], sizeof(dotted_names[index]), "builtins.%s", info.name);
  PyStructSequence_Desc desc = {dotted_names[index], info.doc, own, static_cast<int>(count)};
  PyRef type = PyRef::Steal(reinterpret_cast<PyObject*>(PyStructSequence_NewType(&desc)));
  if (!type) return nullptr;
  PyRef name = PyRef::Steal(PyUnicode_FromString(info.name));
  if (!name || PyObject_SetAttrString(type.get(), "__name__", name.get()) != 0) return nullptr;
  PyRef method = PyRef::Steal(PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(type.get()), &g_asdict));
  if (!method || PyObject_SetAttrString(type.get(), g_asdict.ml_name, method.get()) != 0) return nullptr;
  return reinterpret_cast<PyTypeObject*>(type.release());
}

}  // namespace

PyTypeObject* TypeObject(ResultType type) { return g_types[static_cast<int>(type)].type; }

int RegisterResultTypes(PyObject* module) {
  if (FaultArmed(Fault::kResultTypes)) {
    PyErr_NoMemory();
    return -1;
  }
  for (ResultTypeInfo& info : g_types) {
    if (info.type == nullptr) info.type = NewResultType(info);  // kept for the process
    if (info.type == nullptr) return -1;
    auto* type = reinterpret_cast<PyObject*>(info.type);
    Py_INCREF(type);  // the module's reference
    if (PyModule_AddObject(module, info.name, type) != 0) {
      Py_DECREF(type);
      return -1;
    }
  }
  return 0;
}

PyRef NewResult(ResultType type) {
  // What PyStructSequence_New does, with the item count known here instead
  // of looked up in the type's dictionary on every call (the result types
  // have no hidden items).
  const ResultTypeInfo& info = g_types[static_cast<int>(type)];
  const auto count = static_cast<Py_ssize_t>(ItemCount(info));
  PyRef tuple = PyRef::Steal(reinterpret_cast<PyObject*>(PyObject_GC_NewVar(PyStructSequence, info.type, count)));
  if (!tuple) return {};
  for (Py_ssize_t i = 0; i < count; ++i) PyStructSequence_SET_ITEM(tuple.get(), i, nullptr);
  return tuple;
}

}  // namespace vl5::py
