// The body of every thread terminal64 starts itself: an exception that would
// leave it, and end the process through std::terminate, is reported on
// standard error instead, and the thread ends normally.
#pragma once

#include <exception>
#include <new>

namespace vl5::terminal::server {

// "terminal64: <thread> thread stopped: <what>" on standard error.
void ReportThreadFailure(const char* thread, const char* what) noexcept;

// Runs `body`; false when it ended by an exception, which was reported.
template <typename Body>
bool RunReported(const char* thread, const Body& body) noexcept {
  try {
    body();
    return true;
  } catch (const std::bad_alloc&) {
    ReportThreadFailure(thread, "out of memory");
  } catch (const std::exception& error) {
    ReportThreadFailure(thread, error.what());
  } catch (...) {
    ReportThreadFailure(thread, "unknown exception");
  }
  return false;
}

}  // namespace vl5::terminal::server
