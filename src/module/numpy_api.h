// NumPy's C API for this module: one API table shared by every file
// (imported in numpy_api.cpp), built against NumPy 2 headers with the
// NumPy 1.23 C-API as the oldest runtime accepted.
#pragma once

#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_1_23_API_VERSION
#define NPY_TARGET_VERSION NPY_1_23_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL vl5_ARRAY_API
#ifndef VL5_NUMPY_IMPORT
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>

namespace vl5::py {

// NumPy's import sequence; on failure prints the cause and sets ImportError.
bool ImportNumpy();

}  // namespace vl5::py
