#include "terminal/server/thread_guard.h"

#include <cstdio>

namespace vl5::terminal::server {

void ReportThreadFailure(const char* thread, const char* what) noexcept {
  std::fprintf(stderr, "terminal64: %s thread stopped: %s\n", thread, what);
  std::fflush(stderr);
}

}  // namespace vl5::terminal::server
