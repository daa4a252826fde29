#include "terminal/server/in_process_connection.h"

#include <cstring>

#include "terminal/server/connection.h"
#include "terminal/server/reply.h"
#include "terminal/server/request_reader.h"
#include "src/wire/records.h"

namespace vl5::terminal::server {

namespace {

constexpr std::size_t kLengthField = 4;
// Room kept between replies; a larger one (a long list of bars) is given back.
constexpr std::size_t kKeptRoom = 1024 * 1024;

class MemorySink : public ByteSink {
 public:
  explicit MemorySink(std::vector<std::uint8_t>* out) : out_(out) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    out_->insert(out_->end(), data, data + size);
    return true;
  }

 private:
  std::vector<std::uint8_t>* out_;
};

}  // namespace

void InProcessConnection::Reset() {
  client_ = ClientState();
  partial_.clear();
  replies_.clear();
  read_ = 0;
  dropped_ = false;
}

bool InProcessConnection::Write(const std::uint8_t* bytes, std::size_t n) {
  if (dropped_) return false;
  if (partial_.empty()) {
    // The usual case: the request arrives whole and is served in place.
    const std::size_t used = ServeFrames(bytes, n);
    if (!dropped_) partial_.assign(bytes + used, bytes + n);
  } else {
    partial_.insert(partial_.end(), bytes, bytes + n);
    const std::size_t used = ServeFrames(partial_.data(), partial_.size());
    partial_.erase(partial_.begin(), partial_.begin() + static_cast<std::ptrdiff_t>(used));
  }
  return !dropped_;
}

std::size_t InProcessConnection::ServeFrames(const std::uint8_t* data, std::size_t n) {
  std::size_t used = 0;
  MemorySink sink(&replies_);
  while (n - used >= kLengthField) {
    const std::uint32_t announced = wire::Load<std::uint32_t>(data + used, 0);
    if (!RequestLengthValid(announced)) {
      dropped_ = true;
      return used;
    }
    if (n - used - kLengthField < announced) break;
    if (!ServeRequest(terminal_, client_, data + used + kLengthField, announced, sink, reply_buffer_)) {
      dropped_ = true;  // the bytes written of that reply stay readable
      return used;
    }
    used += kLengthField + announced;
  }
  return used;
}

bool InProcessConnection::Read(std::uint8_t* out, std::size_t n) {
  if (Pending() < n) return false;
  if (n > 0) std::memcpy(out, replies_.data() + read_, n);
  read_ += n;
  if (read_ == replies_.size()) {
    read_ = 0;
    replies_.clear();
    if (replies_.capacity() > kKeptRoom) replies_.shrink_to_fit();
  }
  return true;
}

}  // namespace vl5::terminal::server
