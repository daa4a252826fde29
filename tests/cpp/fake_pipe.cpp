// The pipe functions of os.h over an in-memory script (see fake_pipe.h). Only
// the channel touches these; the rest of the platform layer is not linked.
#include "tests/cpp/fake_pipe.h"

#include <cstring>

namespace vl5::fake {

PipeScript& Pipe() {
  static PipeScript script;
  return script;
}

void Reset() { Pipe() = PipeScript{}; }

void Put32(Bytes* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void Put64(Bytes* out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Bytes Reply(std::uint32_t echo, std::int32_t status, const Bytes& data) {
  Bytes out;
  Put32(&out, static_cast<std::uint32_t>(8 + data.size()));
  Put32(&out, echo);
  Put32(&out, static_cast<std::uint32_t>(status));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

void Queue(const Bytes& bytes) {
  Bytes& in = Pipe().incoming;
  in.insert(in.end(), bytes.begin(), bytes.end());
}

}  // namespace vl5::fake

namespace vl5::os {

using fake::Pipe;

InterruptCheck g_interrupt_check = nullptr;

PipeHandle OpenPipe(const std::u16string&, std::uint32_t* error) {
  if (std::uint32_t e = Pipe().open_error) {
    Pipe().open_error = 0;
    *error = e;
    return kInvalidPipe;
  }
  return fake::kFakeHandle;
}

bool WritePipe(PipeHandle pipe, const void* data, std::size_t n, std::uint32_t* error) {
  fake::PipeScript& s = Pipe();
  if (pipe != fake::kFakeHandle) s.foreign.push_back(pipe);
  const auto* p = static_cast<const std::uint8_t*>(data);
  s.writes.emplace_back(p, p + n);
  if (s.write_error != 0) {
    *error = s.write_error;
    s.write_error = 0;
    return false;
  }
  return true;
}

bool ReadPipe(PipeHandle pipe, void* data, std::size_t n, std::uint32_t* error) {
  fake::PipeScript& s = Pipe();
  if (pipe != fake::kFakeHandle) s.foreign.push_back(pipe);
  s.read_requests.push_back(n);
  if (s.interrupt_next_read) {
    s.interrupt_next_read = false;
    s.interrupting = true;
    bool stop = g_interrupt_check != nullptr && g_interrupt_check();
    Pipe().interrupting = false;
    if (stop) {
      *error = kErrorInterrupted;
      return false;
    }
  }
  if (s.read_error != 0) {
    *error = s.read_error;
    s.read_error = 0;
    return false;
  }
  if (n > s.Unconsumed()) {  // the terminal went away before sending it all
    s.consumed = s.incoming.size();
    *error = kErrorBrokenPipe;
    return false;
  }
  if (n > 0) std::memcpy(data, s.incoming.data() + s.consumed, n);
  s.consumed += n;
  return true;
}

void ClosePipe(PipeHandle pipe) { Pipe().closed.push_back(pipe); }

void SetInterruptCheck(InterruptCheck check) { g_interrupt_check = check; }
bool SleepMs(std::uint32_t) { return true; }

}  // namespace vl5::os
