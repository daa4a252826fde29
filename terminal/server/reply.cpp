#include "terminal/server/reply.h"

#include <algorithm>

namespace vl5::terminal::server {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::uint64_t kMaxFrameBody = 0xFFFFFFFFULL;

void AppendU32(std::vector<std::uint8_t>* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

ReplyWriter::ReplyWriter(ByteSink& sink, std::uint32_t echo, std::vector<std::uint8_t>& buffer)
    : sink_(sink), echo_(echo), buffer_(buffer) {
  buffer_.clear();
  buffer_.reserve(kBufferSize);  // allocates once per connection
}

void ReplyWriter::Status(std::int32_t status) {
  if (Begin(status, 0)) End();
}

void ReplyWriter::Value(std::int32_t status, std::uint32_t value) {
  if (!Begin(status, sizeof(value))) return;
  PutU32(value);
  End();
}

void ReplyWriter::Record(std::int32_t status, const std::vector<std::uint8_t>& record, std::size_t size) {
  if (record.size() < size) {
    healthy_ = false;
    return;
  }
  if (!Begin(status, size)) return;
  Put(record.data(), size);
  End();
}

bool ReplyWriter::Begin(std::int32_t status, std::uint64_t data_size) {
  // Echo and status come first: 8 bytes of the body besides the data.
  if (replied_ || data_size > kMaxFrameBody - 8) {
    healthy_ = false;
    return false;
  }
  replied_ = true;
  open_ = true;
  remaining_ = data_size;
  AppendU32(&buffer_, static_cast<std::uint32_t>(data_size + 8));
  AppendU32(&buffer_, echo_);
  AppendU32(&buffer_, static_cast<std::uint32_t>(status));
  return true;
}

void ReplyWriter::Put(const void* bytes, std::size_t n) {
  if (!open_ || n > remaining_) {
    healthy_ = false;
    return;
  }
  remaining_ -= n;
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  while (n > 0 && healthy_) {
    const std::size_t take = std::min(n, kBufferSize - buffer_.size());
    buffer_.insert(buffer_.end(), p, p + take);
    p += take;
    n -= take;
    if (buffer_.size() == kBufferSize) Flush();
  }
}

void ReplyWriter::End() {
  if (!open_) return;
  open_ = false;
  if (remaining_ != 0) healthy_ = false;  // the frame promised more than it got
  Flush();
}

void ReplyWriter::Fail(std::int32_t status) {
  if (open_) {
    open_ = false;
    healthy_ = false;
    buffer_.clear();
  } else if (!replied_) {
    Status(status);  // fits the buffer reserved up front: needs no memory
  }
}

void ReplyWriter::Flush() {
  if (healthy_ && !buffer_.empty() && !sink_.Write(buffer_.data(), buffer_.size())) healthy_ = false;
  buffer_.clear();
}

}  // namespace vl5::terminal::server
