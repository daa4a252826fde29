#include "src/module/record_arrays.h"

namespace vl5::py {

namespace {

struct FieldSpec {
  const char* name;
  int type_number;
  int offset;
};

constexpr FieldSpec kRateFields[] = {
    {"time", NPY_LONGLONG, 0},         {"open", NPY_DOUBLE, 8},  {"high", NPY_DOUBLE, 16},
    {"low", NPY_DOUBLE, 24},           {"close", NPY_DOUBLE, 32}, {"tick_volume", NPY_ULONGLONG, 40},
    {"spread", NPY_INT, 48},           {"real_volume", NPY_ULONGLONG, 52},
};
constexpr FieldSpec kTickFields[] = {
    {"time", NPY_LONGLONG, 0},   {"bid", NPY_DOUBLE, 8},         {"ask", NPY_DOUBLE, 16},
    {"last", NPY_DOUBLE, 24},    {"volume", NPY_ULONGLONG, 32},  {"time_msc", NPY_LONGLONG, 40},
    {"flags", NPY_UINT, 48},     {"volume_real", NPY_DOUBLE, 52},
};
constexpr int kFieldCount = 8;

PyArray_Descr* g_rates = nullptr;  // process-wide, never released
PyArray_Descr* g_ticks = nullptr;

// The descriptor struct lies differently in NumPy 1 and 2; the runtime
// version recorded at import chooses the layout, as NumPy's own accessors do.
void SetStructuredMembers(PyArray_Descr* descr, PyObject* fields, PyObject* names) {
  PyDataType_SET_ELSIZE(descr, kRecordSize);
  if (PyArray_RUNTIME_VERSION >= NPY_2_0_API_VERSION) {
    auto* d = reinterpret_cast<_PyArray_LegacyDescr*>(descr);
    d->flags = NPY_NEEDS_PYAPI;
    Py_XSETREF(d->fields, fields);
    Py_XSETREF(d->names, names);
  } else {
    auto* d = reinterpret_cast<PyArray_DescrProto*>(descr);
    d->flags = NPY_NEEDS_PYAPI;
    Py_XSETREF(d->fields, fields);
    Py_XSETREF(d->names, names);
  }
}

PyArray_Descr* BuildDtype(const FieldSpec (&specs)[kFieldCount]) {
  PyRef fields = PyRef::Steal(PyDict_New());
  PyRef names = PyRef::Steal(PyTuple_New(kFieldCount));
  if (!fields || !names) return nullptr;
  for (int i = 0; i < kFieldCount; ++i) {
    PyRef scalar = PyRef::Steal(reinterpret_cast<PyObject*>(PyArray_DescrNewFromType(specs[i].type_number)));
    if (!scalar) return nullptr;
    PyRef pair = PyRef::Steal(Py_BuildValue("(Oi)", scalar.get(), specs[i].offset));
    PyRef name = PyRef::Steal(PyUnicode_InternFromString(specs[i].name));
    if (!pair || !name || PyDict_SetItem(fields.get(), name.get(), pair.get()) != 0) return nullptr;
    PyTuple_SET_ITEM(names.get(), i, name.release());
  }
  PyArray_Descr* descr = PyArray_DescrNewFromType(NPY_VOID);
  if (descr == nullptr) return nullptr;
  SetStructuredMembers(descr, fields.release(), names.release());
  return descr;
}

}  // namespace

void BuildRecordDtypes() {
  g_rates = BuildDtype(kRateFields);
  g_ticks = BuildDtype(kTickFields);
  PyErr_Clear();  // a missing dtype is reported by the calls that need it
}

PyArray_Descr* RecordDtype(RecordKind kind) { return kind == RecordKind::kRates ? g_rates : g_ticks; }

PyRef NewRecordArray(RecordKind kind, npy_intp count) {
  PyArray_Descr* dtype = RecordDtype(kind);
  if (dtype == nullptr || count < 0) return {};
  Py_INCREF(dtype);  // PyArray_NewFromDescr consumes one reference
  npy_intp dims[1] = {count};
  npy_intp strides[1] = {kRecordSize};
  return PyRef::Steal(PyArray_NewFromDescr(&PyArray_Type, dtype, 1, dims, strides, nullptr, 0, nullptr));
}

void* RecordData(PyObject* array) { return PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)); }

void SealRecordArray(PyObject* array) {
  PyArray_CLEARFLAGS(reinterpret_cast<PyArrayObject*>(array), NPY_ARRAY_WRITEABLE);
}

}  // namespace vl5::py
