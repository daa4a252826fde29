// A scripted stand-in for the pipe functions of the platform layer, so that
// channel and protocol tests see every read and write the code issues.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "src/link/os/os.h"

namespace vl5::fake {

using Bytes = std::vector<std::uint8_t>;

// The handle OpenPipe hands out; any other value reaching the fake is a fault.
inline constexpr os::PipeHandle kFakeHandle = 7;

struct PipeScript {
  // What the client asked of the system, in order.
  std::vector<Bytes> writes;               // bytes of each WritePipe call
  std::vector<std::size_t> read_requests;  // size of each ReadPipe call
  std::vector<os::PipeHandle> closed;      // handles given to ClosePipe
  std::vector<os::PipeHandle> foreign;     // handles other than kFakeHandle used for I/O

  // What the "terminal" sends; a read past its end fails as a broken pipe.
  Bytes incoming;
  std::size_t consumed = 0;

  // Non-zero: the next call of that kind fails with this error (once).
  std::uint32_t open_error = 0;
  std::uint32_t write_error = 0;
  std::uint32_t read_error = 0;
  // True: a signal interrupts the next read, which asks the installed
  // interrupt check (with `interrupting` set) whether to go on.
  bool interrupt_next_read = false;
  bool interrupting = false;

  std::size_t Unconsumed() const { return incoming.size() - consumed; }
};

// The one script of the process; Reset() before each test.
PipeScript& Pipe();
void Reset();

// Little-endian builders for reply bytes.
void Put32(Bytes* out, std::uint32_t value);
void Put64(Bytes* out, std::uint64_t value);
// A reply frame: length, echo, status, then `data`.
Bytes Reply(std::uint32_t echo, std::int32_t status, const Bytes& data = {});
void Queue(const Bytes& bytes);

}  // namespace vl5::fake
