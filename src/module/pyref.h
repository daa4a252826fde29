// PyRef: one owned Python reference. Moving transfers ownership; the
// destructor releases it, so no success path needs a bare Py_DECREF.
#pragma once

#include <Python.h>

#include <utility>

namespace vl5::py {

class PyRef {
 public:
  PyRef() = default;
  // Takes over a new reference (may be null).
  static PyRef Steal(PyObject* object) { return PyRef(object); }
  // Adds a reference to a borrowed object.
  static PyRef Borrow(PyObject* object) {
    Py_XINCREF(object);
    return PyRef(object);
  }

  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    // Store first, release after (the order of Py_SETREF): the old object's
    // destructor may run arbitrary code that must not see it half-replaced.
    PyObject* old = std::exchange(object_, std::exchange(other.object_, nullptr));
    Py_XDECREF(old);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands the reference to the caller (for returning to Python or to a stealing API).
  PyObject* release() { return std::exchange(object_, nullptr); }

 private:
  explicit PyRef(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace vl5::py
