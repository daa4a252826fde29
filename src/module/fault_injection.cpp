#include "src/module/fault_injection.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vl5::py {

namespace {

Fault g_armed = Fault::kNone;

}  // namespace

void ArmFaultFromEnvironment() {
  const char* value = std::getenv("VL5_INJECT_FAULT");
  if (value == nullptr) return;
  struct Name {
    const char* text;
    Fault fault;
  };
  static constexpr Name kNames[] = {{"allocation", Fault::kAllocation},
                                    {"result_types", Fault::kResultTypes},
                                    {"record_dtypes", Fault::kRecordDtypes}};
  for (const Name& name : kNames) {
    if (std::strcmp(value, name.text) == 0) g_armed = name.fault;
  }
}

bool FaultArmed(Fault fault) { return g_armed == fault; }

}  // namespace vl5::py

#if defined(__linux__)
// The module's own allocation functions (the version script keeps them
// local, so no other library is affected), as the standard library's but for
// the armed allocation fault.
void* operator new(std::size_t size) {
  if (vl5::py::FaultArmed(vl5::py::Fault::kAllocation)) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
#endif
