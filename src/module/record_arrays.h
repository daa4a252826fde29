// The bar and tick record dtypes (60-byte packed records, exactly the wire
// layout) and the read-only arrays made over received records.
#pragma once

#include "src/module/numpy_api.h"
#include "src/module/pyref.h"

namespace vl5::py {

inline constexpr npy_intp kRecordSize = 60;

enum class RecordKind { kRates, kTicks };

// Builds both dtypes once, after NumPy is imported: 0, or -1 with the Python
// exception set, which fails the import.
int BuildRecordDtypes();
PyArray_Descr* RecordDtype(RecordKind kind);

// A one-dimensional array of `count` records whose memory NumPy allocates
// through its own memory handler, so the array owns and frees it. The
// records are written into RecordData() and the array sealed afterwards.
PyRef NewRecordArray(RecordKind kind, npy_intp count);
void* RecordData(PyObject* array);
// Makes the array read-only once its records are in place.
void SealRecordArray(PyObject* array);

}  // namespace vl5::py
