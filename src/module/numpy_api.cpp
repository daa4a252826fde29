#define VL5_NUMPY_IMPORT
#include "src/module/numpy_api.h"

namespace vl5::py {

bool ImportNumpy() {
  // NumPy's own sequence: it tries numpy._core, then numpy.core, checks the
  // ABI, the C-API feature version and the byte order, and records the
  // runtime version that the descriptor accessors consult.
  if (_import_array() < 0) {
    PyErr_Print();
    PyErr_SetString(PyExc_ImportError, "numpy._core.multiarray failed to import");
    return false;
  }
  return true;
}

}  // namespace vl5::py
