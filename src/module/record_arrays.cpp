#include "src/module/record_arrays.h"

#include "src/module/fault_injection.h"
#include "src/wire/records.h"

namespace vl5::py {

namespace {

static_assert(wire::kRateRecordSize == kRecordSize && wire::kTickRecordSize == kRecordSize);

PyArray_Descr* g_rates = nullptr;  // process-wide once the import succeeded
PyArray_Descr* g_ticks = nullptr;

// The NumPy scalar type of a numeric wire field, in the machine's order
// (the records are little-endian, as every supported machine is).
int TypeNumber(wire::FieldKind kind) {
  switch (kind) {
    case wire::FieldKind::kU32:
      return NPY_UINT;
    case wire::FieldKind::kI32:
      return NPY_INT;
    case wire::FieldKind::kU64:
      return NPY_ULONGLONG;
    case wire::FieldKind::kI64:
      return NPY_LONGLONG;
    case wire::FieldKind::kF64:
      return NPY_DOUBLE;
    default:
      return NPY_NOTYPE;
  }
}

// The packed dtype of a wire table, built by NumPy from a description
// {names, formats, offsets, itemsize}.
template <std::size_t N>
PyArray_Descr* BuildDtype(const wire::Field (&fields)[N]) {
  PyRef names = PyRef::Steal(PyList_New(N));
  PyRef formats = PyRef::Steal(PyList_New(N));
  PyRef offsets = PyRef::Steal(PyList_New(N));
  if (!names || !formats || !offsets) return nullptr;
  for (std::size_t i = 0; i < N; ++i) {
    PyObject* name = PyUnicode_FromString(fields[i].name);
    PyObject* format = reinterpret_cast<PyObject*>(PyArray_DescrFromType(TypeNumber(fields[i].kind)));
    PyObject* offset = PyLong_FromUnsignedLong(fields[i].offset);
    PyList_SET_ITEM(names.get(), i, name);  // a null item is refused below
    PyList_SET_ITEM(formats.get(), i, format);
    PyList_SET_ITEM(offsets.get(), i, offset);
    if (name == nullptr || format == nullptr || offset == nullptr) return nullptr;
  }
  PyRef spec = PyRef::Steal(Py_BuildValue("{sOsOsOsn}", "names", names.get(), "formats", formats.get(), "offsets",
                                          offsets.get(), "itemsize", kRecordSize));
  PyArray_Descr* descr = nullptr;
  if (!spec || PyArray_DescrConverter(spec.get(), &descr) != NPY_SUCCEED) return nullptr;
  return descr;
}

}  // namespace

int BuildRecordDtypes() {
  if (FaultArmed(Fault::kRecordDtypes)) {
    PyErr_NoMemory();
    return -1;
  }
  if (g_rates == nullptr) g_rates = BuildDtype(wire::kRateFields);
  if (g_ticks == nullptr) g_ticks = BuildDtype(wire::kTickFields);
  return g_rates != nullptr && g_ticks != nullptr ? 0 : -1;
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
