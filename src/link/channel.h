// The pipe channel: the module-wide connection to the terminal and the
// per-exchange buffered writer and reader.
//
// Threading contract: every function here runs on the calling thread and
// blocks on the pipe without a timeout. The Python module never releases the
// interpreter lock, so calls are serialised and the client needs no lock.
// This file pair is the only code that touches a pipe handle; the protocol
// (protocol.h) is the only code that uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "src/link/carrier.h"
#include "src/link/os/os.h"
#include "src/link/outcome.h"

namespace vl5::link {

inline constexpr std::size_t kChannelBufferSize = 16384;

// The handle of a connection through the attached carrier: no system handle
// takes this value (descriptors are not negative, and Windows never returns
// it for a file).
inline constexpr os::PipeHandle kCarrierLink = -2;

class CInterClient {
 public:
  CInterClient() = default;
  ~CInterClient() { Disconnect(); }
  CInterClient(const CInterClient&) = delete;
  CInterClient& operator=(const CInterClient&) = delete;

  // Opens the pipe; a failure says "CreateFile failed [n]".
  Outcome Connect(const std::u16string& pipe_address);
  // Closes the pipe and clears the digest. Never fails.
  void Disconnect();
  bool Connected() const { return handle_ != os::kInvalidPipe; }

  // With a carrier attached, every connection goes through it instead of a
  // pipe (see carrier.h); attaching closes the connection there was.
  bool AttachCarrier(const Carrier* carrier);
  bool DetachCarrier(const Carrier* carrier);
  bool Carried() const { return carrier_ != nullptr; }
  Outcome ConnectCarrier();
  const Carrier* carrier() const { return carrier_; }
  // Closes the pipe or the carrier's connection, leaving the handle invalid.
  void CloseHandle();

  std::uint8_t* Digest() { return digest_; }
  os::PipeHandle* Handle() { return &handle_; }
  // Changes with every connect and disconnect.
  std::uint64_t Serial() const { return serial_; }

  // The build the terminal announced in its last hello; 0 before any. Kept
  // by Disconnect: calls gated on it answer by the last terminal seen.
  std::uint32_t TerminalBuild() const { return terminal_build_; }
  void SetTerminalBuild(std::uint32_t build) { terminal_build_ = build; }

 private:
  os::PipeHandle handle_ = os::kInvalidPipe;
  const Carrier* carrier_ = nullptr;
  std::uint8_t digest_[32] = {};
  std::uint32_t terminal_build_ = 0;
  std::uint64_t serial_ = 0;
};

// The one connection of the process.
CInterClient& Client();

// The carrier table the module hands out: attach and detach on Client().
const CarrierApi* CarrierHooks();

// Closes the shared handle when a transfer failed because the peer is gone or
// because an interrupt abandoned it: either way the stream is out of step.
void ApplyBrokenPipeRule(os::PipeHandle* handle, std::uint32_t error);

// One transfer of exactly n bytes, unbuffered: the writer's and reader's own
// system calls, and the protocol's for frames that need no buffer. Nothing
// is tried on a closed handle; a failure applies the broken-pipe rule.
bool WriteExact(os::PipeHandle* handle, const void* bytes, std::size_t n);
bool ReadExact(os::PipeHandle* handle, void* destination, std::size_t n);

// Ctrl-C: `check` runs the caller's pending signal handlers when a signal
// interrupts a blocking transfer or wait, and returns true when one of them
// wants the call to end. The transfer then fails and the link is dropped.
void SetInterruptCheck(os::InterruptCheck check);
// Sleeps between two polls of the terminal. False, with the link dropped,
// when an interrupt ended the sleep.
bool Pause(std::uint32_t milliseconds);

// Buffers one request; frames up to 16 KiB leave in a single write at Flush.
class PipeWriter {
 public:
  explicit PipeWriter(os::PipeHandle* handle) : handle_(handle) {}
  PipeWriter(const PipeWriter&) = delete;
  PipeWriter& operator=(const PipeWriter&) = delete;

  bool Append(const void* bytes, std::size_t n);
  bool Flush();

  template <typename T>
  bool AppendValue(T value) {  // little-endian hosts only, as the wire
    return Append(&value, sizeof(value));
  }

  std::uint32_t Used() const { return used_; }

 private:
  bool WriteRaw(const void* bytes, std::size_t n);

  os::PipeHandle* handle_;
  std::uint32_t used_ = 0;
  std::uint32_t free_ = kChannelBufferSize;
  std::uint8_t buffer_[kChannelBufferSize];
};

// Reads one reply, never past its announced length.
class PipeReader {
 public:
  explicit PipeReader(os::PipeHandle* handle) : handle_(handle) {}
  PipeReader(const PipeReader&) = delete;
  PipeReader& operator=(const PipeReader&) = delete;

  bool BeginReply();
  bool Read(void* destination, std::size_t n);
  bool AtEnd() const { return available_ == 0 && remaining_ == 0; }
  // Drops the rest of the current reply, reading it out of the pipe, so that
  // a rejected reply never leaves bytes for the next exchange to misread.
  void Discard();
  // Bytes of the reply not yet consumed (buffered or still in the pipe).
  std::uint64_t Unread() const { return std::uint64_t{available_} + remaining_; }

  template <typename T>
  bool ReadValue(T* value) {
    return Read(value, sizeof(*value));
  }

 private:
  bool ReadRaw(void* destination, std::size_t n);

  os::PipeHandle* handle_;
  std::uint32_t remaining_ = 0;
  std::uint32_t position_ = 0;
  std::uint32_t available_ = 0;
  std::uint8_t buffer_[kChannelBufferSize];
};

}  // namespace vl5::link
