#include "src/link/channel.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace vl5::link {

namespace {

constexpr std::uint32_t kBigRead = 8192;  // reads this large bypass the buffer

os::InterruptCheck g_interrupt_check = nullptr;

bool LinkInterrupted() {
  std::uint64_t serial = Client().Serial();
  bool stop = g_interrupt_check();
  // A handler that shut down or replaced the link left nothing to continue on.
  return stop || Client().Serial() != serial;
}

// A signal that arrived between two system calls interrupted neither, and its
// handler has not run: asked before each wait, so that it is not missed.
bool InterruptPending() { return g_interrupt_check != nullptr && LinkInterrupted(); }

// Closes a pipe handle or a carrier link; leaves *handle invalid. The
// client's own handle closes through the client, which knows its carrier.
void CloseLink(os::PipeHandle* handle) {
  if (handle == Client().Handle()) {
    Client().CloseHandle();
    return;
  }
  if (*handle != os::kInvalidPipe && *handle != kCarrierLink) os::ClosePipe(*handle);
  *handle = os::kInvalidPipe;
}

}  // namespace

CInterClient& Client() {
  static CInterClient client;  // its destructor closes the pipe at unload
  return client;
}

Outcome CInterClient::Connect(const std::u16string& pipe_address) {
  CloseHandle();  // never leak a handle being replaced
  ++serial_;
  std::uint32_t error = 0;
  handle_ = os::OpenPipe(pipe_address, &error);
  if (handle_ != os::kInvalidPipe) return {};
  if (error == os::kErrorInterrupted) return Interrupted();
  std::string text = "CreateFile failed [" + std::to_string(error) + "]";
  return InitializeFailed(std::u16string(text.begin(), text.end()));
}

void CInterClient::Disconnect() {
  CloseHandle();
  ++serial_;
  std::memset(digest_, 0, sizeof(digest_));
}

bool CInterClient::AttachCarrier(const Carrier* carrier) {
  if (carrier_ != nullptr || carrier == nullptr) return false;
  Disconnect();
  carrier_ = carrier;
  return true;
}

bool CInterClient::DetachCarrier(const Carrier* carrier) {
  if (carrier_ == nullptr || carrier_ != carrier) return false;
  Disconnect();
  carrier_ = nullptr;
  return true;
}

Outcome CInterClient::ConnectCarrier() {
  CloseHandle();
  ++serial_;
  if (carrier_ == nullptr || !carrier_->open(carrier_->peer)) {
    return InitializeFailed(u"the embedded engine refused the connection: it belongs to another process");
  }
  handle_ = kCarrierLink;
  return {};
}

// Also run by the destructor, so it reaches the carrier through this object.
void CInterClient::CloseHandle() {
  if (handle_ == kCarrierLink) {
    if (carrier_ != nullptr) carrier_->close(carrier_->peer);
  } else if (handle_ != os::kInvalidPipe) {
    os::ClosePipe(handle_);
  }
  handle_ = os::kInvalidPipe;
}

const CarrierApi* CarrierHooks() {
  static const CarrierApi api{
      kCarrierApiVersion,
      [](const Carrier* carrier) { return Client().AttachCarrier(carrier); },
      [](const Carrier* carrier) { return Client().DetachCarrier(carrier); },
  };
  return &api;
}

void ApplyBrokenPipeRule(os::PipeHandle* handle, std::uint32_t error) {
  if (error == os::kErrorBrokenPipe || error == os::kErrorInterrupted) CloseLink(handle);
}

void SetInterruptCheck(os::InterruptCheck check) {
  g_interrupt_check = check;
  os::SetInterruptCheck(check != nullptr ? LinkInterrupted : nullptr);
}

bool Pause(std::uint32_t milliseconds) {
  if (!InterruptPending() && os::SleepMs(milliseconds)) return true;
  Client().Disconnect();
  return false;
}

// A signal handler run during the transfer may have shut the link down or
// opened a new one: the broken-pipe rule then leaves it alone. Through a
// carrier nothing blocks, so there is no interrupt to run; a refused
// transfer is a peer gone, as over a pipe.
bool WriteExact(os::PipeHandle* handle, const void* bytes, std::size_t n) {
  if (*handle == os::kInvalidPipe) return false;
  if (*handle == kCarrierLink) {
    const Carrier* carrier = Client().carrier();
    if (carrier->write(carrier->peer, bytes, n)) return true;
    CloseLink(handle);
    return false;
  }
  std::uint64_t serial = Client().Serial();
  std::uint32_t error = 0;
  if (os::WritePipe(*handle, bytes, n, &error)) return true;
  if (Client().Serial() == serial) ApplyBrokenPipeRule(handle, error);
  return false;
}

bool ReadExact(os::PipeHandle* handle, void* destination, std::size_t n) {
  if (*handle == os::kInvalidPipe) return false;
  if (*handle == kCarrierLink) {
    const Carrier* carrier = Client().carrier();
    if (carrier->read(carrier->peer, destination, n)) return true;
    CloseLink(handle);
    return false;
  }
  std::uint64_t serial = Client().Serial();
  std::uint32_t error = os::kErrorInterrupted;
  if (!InterruptPending() && os::ReadPipe(*handle, destination, n, &error)) return true;
  if (Client().Serial() == serial) ApplyBrokenPipeRule(handle, error);
  return false;
}

// ---- PipeWriter ---------------------------------------------------------------

bool PipeWriter::WriteRaw(const void* bytes, std::size_t n) { return WriteExact(handle_, bytes, n); }

bool PipeWriter::Append(const void* bytes, std::size_t n) {
  const auto* source = static_cast<const std::uint8_t*>(bytes);
  if (n <= free_) {
    if (n > 0) std::memcpy(buffer_ + used_, source, n);
    used_ += static_cast<std::uint32_t>(n);
    free_ -= static_cast<std::uint32_t>(n);
    return true;
  }
  std::size_t head = free_;
  if (head > 0) std::memcpy(buffer_ + used_, source, head);
  source += head;
  n -= head;
  used_ = 0;
  free_ = kChannelBufferSize;
  if (!WriteRaw(buffer_, kChannelBufferSize)) return false;
  if (n <= kChannelBufferSize) {
    std::memcpy(buffer_, source, n);
    used_ = static_cast<std::uint32_t>(n);
    free_ = static_cast<std::uint32_t>(kChannelBufferSize - n);
    return true;
  }
  return WriteRaw(source, n);
}

bool PipeWriter::Flush() { return WriteRaw(buffer_, used_); }

// ---- PipeReader -----------------------------------------------------------------

bool PipeReader::ReadRaw(void* destination, std::size_t n) { return ReadExact(handle_, destination, n); }

bool PipeReader::BeginReply() {
  remaining_ = position_ = available_ = 0;
  std::uint32_t length = 0;
  if (!ReadRaw(&length, sizeof(length))) return false;
  remaining_ = length;
  return true;
}

void PipeReader::Discard() {
  available_ = 0;
  position_ = 0;
  while (remaining_ > 0) {
    auto chunk = static_cast<std::uint32_t>(std::min<std::size_t>(remaining_, kChannelBufferSize));
    if (!ReadRaw(buffer_, chunk)) return;
    remaining_ -= chunk;
  }
}

bool PipeReader::Read(void* destination, std::size_t n) {
  auto* out = static_cast<std::uint8_t*>(destination);
  if (n <= available_) {
    if (n > 0) std::memcpy(out, buffer_ + position_, n);
    position_ += static_cast<std::uint32_t>(n);
    available_ -= static_cast<std::uint32_t>(n);
    return true;
  }
  if (available_ > 0) {
    std::memcpy(out, buffer_ + position_, available_);
    out += available_;
    n -= available_;
  }
  available_ = 0;
  position_ = 0;
  if (n > remaining_) return false;  // the reply is shorter than its reader expects
  if (n >= kBigRead || n == remaining_) {
    if (!ReadRaw(out, n)) return false;
    remaining_ -= static_cast<std::uint32_t>(n);
    return true;
  }
  auto chunk = static_cast<std::uint32_t>(std::min<std::size_t>(remaining_, kChannelBufferSize));
  if (!ReadRaw(buffer_, chunk)) return false;
  std::memcpy(out, buffer_, n);
  position_ = static_cast<std::uint32_t>(n);
  available_ = chunk - static_cast<std::uint32_t>(n);
  remaining_ -= chunk;
  return true;
}

}  // namespace vl5::link
