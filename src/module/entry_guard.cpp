#include "src/module/entry_guard.h"

#include "src/wire/status.h"

namespace vl5::py {

namespace {

PyObject* Fail(std::int32_t code, const char* message, Failure failure) {
  return failure == Failure::kFalse ? SetErrorReturnFalse(code, message) : SetErrorReturnNone(code, message);
}

}  // namespace

PyObject* OutOfMemory(Failure failure) noexcept { return Fail(wire::kOutOfMemory, "No memory", failure); }

PyObject* CallFailed(Failure failure) noexcept { return Fail(wire::kTerminalCallFailed, nullptr, failure); }

}  // namespace vl5::py
