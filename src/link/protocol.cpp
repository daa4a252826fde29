// The request protocol; its contract is at the top of protocol.h.
#include "src/link/protocol.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace vl5::link {

namespace {

constexpr std::size_t kHeadSize = 8;  // echo and status

// ---- requests ---------------------------------------------------------------------

// Longest payload whose frame length still fits the u32 length field.
constexpr std::uint64_t kMaxPayload = std::numeric_limits<std::uint32_t>::max() - 4;

// ---- replies ------------------------------------------------------------------------

bool ReadReplyHead(PipeReader* reader, std::uint32_t* echo, std::int32_t* status) {
  return reader->BeginReply() && reader->ReadValue(echo) && reader->ReadValue(status);
}

// Passes `ok` through; a rejected reply is first read to its announced end.
bool FinishReply(PipeReader* reader, bool ok) {
  if (!ok) reader->Discard();
  return ok;
}

// Echo and status from the first `filled` bytes of a body.
void TakeHead(const std::uint8_t* body, std::size_t filled, std::uint32_t* echo, std::int32_t* status) {
  if (filled >= 4) std::memcpy(echo, body, 4);
  if (filled >= kHeadSize) std::memcpy(status, body + 4, 4);
}

// A reply longer than its shape: the first 16 KiB (at most) in one read, as
// the buffered reader would take it, its head and record handed on, the rest
// read out of the pipe. Always a failure.
void ReadOverlong(std::uint32_t length, std::uint8_t* body, std::size_t body_size, std::size_t* filled) {
  std::uint8_t chunk[kChannelBufferSize];
  os::PipeHandle* handle = Client().Handle();
  std::uint32_t remaining = length;
  std::uint32_t first = std::min<std::uint32_t>(remaining, kChannelBufferSize);
  if (!ReadExact(handle, chunk, first)) return;
  std::memcpy(body, chunk, body_size);  // body_size < length, so within the chunk
  *filled = body_size;
  remaining -= first;
  while (remaining > 0) {
    std::uint32_t piece = std::min<std::uint32_t>(remaining, kChannelBufferSize);
    if (!ReadExact(handle, chunk, piece)) return;
    remaining -= piece;
  }
}

// A reply of exactly `body_size` bytes (echo, status, record) read into
// `body`. The usual, well-formed reply is one read straight into the body;
// `filled` says how many leading bytes of it were delivered.
bool ReadFixedBody(std::uint8_t* body, std::size_t body_size, std::size_t* filled) {
  *filled = 0;
  std::uint32_t length = 0;
  if (!ReadExact(Client().Handle(), &length, sizeof(length))) return false;
  if (length > body_size) {
    ReadOverlong(length, body, body_size, filled);
    return false;
  }
  // Shorter than the shape: still taken out whole, so echo and status count.
  if (length > 0 && !ReadExact(Client().Handle(), body, length)) return false;
  *filled = length;
  return length == body_size;
}

bool ReadList(std::size_t size, const Allocator& allocate, std::uint32_t* count, std::uint32_t* echo,
              std::int32_t* status) {
  PipeReader reader(Client().Handle());
  std::uint32_t n = 0;
  if (!ReadReplyHead(&reader, echo, status) || !reader.ReadValue(&n)) return FinishReply(&reader, false);
  std::uint64_t bytes = std::uint64_t{n} * size;
  if (bytes > reader.Unread()) return FinishReply(&reader, false);
  void* block = allocate(n);
  if (block == nullptr) return FinishReply(&reader, false);
  *count = n;
  return FinishReply(&reader, reader.Read(block, static_cast<std::size_t>(bytes)) && reader.AtEnd());
}

bool ReadPieces(std::size_t size, const PieceSink& take, std::uint32_t* count, std::uint32_t* echo,
                std::int32_t* status) {
  PipeReader reader(Client().Handle());
  std::uint32_t n = 0;
  if (!ReadReplyHead(&reader, echo, status) || !reader.ReadValue(&n)) return FinishReply(&reader, false);
  // Records of no size cannot be cut into pieces; such a list is refused whole.
  if (size == 0 || std::uint64_t{n} * size > reader.Unread() || !take(n, nullptr, 0)) {
    return FinishReply(&reader, false);
  }
  *count = n;
  const std::size_t per_piece = std::max<std::size_t>(1, kPieceBytes / size);
  std::unique_ptr<std::uint8_t[]> piece(new (std::nothrow) std::uint8_t[per_piece * size]);
  if (!piece) return FinishReply(&reader, false);
  for (std::uint32_t done = 0; done < n;) {
    const auto k = static_cast<std::uint32_t>(std::min<std::size_t>(per_piece, n - done));
    if (!reader.Read(piece.get(), k * size) || !take(n, piece.get(), k)) return FinishReply(&reader, false);
    done += k;
  }
  return FinishReply(&reader, reader.AtEnd());
}

bool ReadText(PipeReader* reader, void* record, std::size_t size, TextBlock* text) {
  std::uint32_t units = 0;
  if (!reader->Read(record, size) || !reader->ReadValue(&units)) return false;
  if (std::uint64_t{units} * 2 > reader->Unread()) return false;  // never allocate past the reply
  text->units.reset(new (std::nothrow) char16_t[units == 0 ? 1 : units]);
  if (!text->units || !reader->Read(text->units.get(), 2 * std::size_t{units}) || !reader->AtEnd()) return false;
  text->count = units;
  return true;
}

bool ReadRecordAndText(void* record, std::size_t size, TextBlock* text, std::uint32_t* echo, std::int32_t* status) {
  PipeReader reader(Client().Handle());
  return FinishReply(&reader, ReadReplyHead(&reader, echo, status) && ReadText(&reader, record, size, text));
}

}  // namespace

// ---- Request --------------------------------------------------------------------------

Request& Request::Copy(const void* data, std::size_t n) {
  if (n > kScratchSize - scratch_used_) {
    overflow_ = true;
    return *this;
  }
  std::memcpy(scratch_ + scratch_used_, data, n);
  Part* last = part_count_ > 0 ? &parts_[part_count_ - 1] : nullptr;
  if (last != nullptr && last->data == nullptr && last->offset + last->size == scratch_used_) {
    last->size += n;  // adjacent values travel as one part
  } else if (part_count_ < kMaxParts) {
    parts_[part_count_++] = {nullptr, scratch_used_, n};
  } else {
    overflow_ = true;
  }
  scratch_used_ += n;
  payload_ += n;
  return *this;
}

Request& Request::Bytes(const void* data, std::size_t n) {
  if (n == 0) return *this;
  if (part_count_ == kMaxParts) {
    overflow_ = true;
    return *this;
  }
  parts_[part_count_++] = {data, 0, n};
  payload_ += n;
  return *this;
}

bool Request::Send() const {
  if (overflow_ || payload_ > kMaxPayload) return false;
  const auto length = static_cast<std::uint32_t>(payload_);
  os::PipeHandle* handle = Client().Handle();
  if (4 + payload_ <= kSmallFrame) {
    std::uint8_t frame[kSmallFrame];
    std::memcpy(frame, &length, 4);
    std::size_t used = 4;
    for (std::size_t i = 0; i < part_count_; ++i) {
      std::memcpy(frame + used, PartData(parts_[i]), parts_[i].size);
      used += parts_[i].size;
    }
    return WriteExact(handle, frame, used);
  }
  PipeWriter writer(handle);
  if (!writer.AppendValue(length)) return false;
  for (std::size_t i = 0; i < part_count_; ++i) {
    if (!writer.Append(PartData(parts_[i]), parts_[i].size)) return false;
  }
  return writer.Flush();
}

// ---- replies and exchanges ----------------------------------------------------------------

bool ReadReply(const Reply& reply, std::uint32_t* echo, std::int32_t* status) {
  std::size_t filled = 0;
  bool ok = false;
  switch (reply.shape_) {
    case Reply::Shape::kFixed: {
      std::uint8_t head[kHeadSize];  // a status reply has no body of the caller's
      std::uint8_t* body = reply.body_ != nullptr ? reply.body_ : head;
      ok = ReadFixedBody(body, kHeadSize + reply.size_, &filled);
      TakeHead(body, filled, echo, status);
      return ok;
    }
    case Reply::Shape::kValue: {
      std::uint8_t body[kHeadSize + 4];
      ok = ReadFixedBody(body, sizeof(body), &filled);
      TakeHead(body, filled, echo, status);
      if (filled == sizeof(body)) std::memcpy(reply.value_, body + kHeadSize, 4);
      return ok;
    }
    case Reply::Shape::kList:
      return ReadList(reply.size_, reply.allocate_, reply.count_, echo, status);
    case Reply::Shape::kPieces:
      return ReadPieces(reply.size_, reply.take_, reply.count_, echo, status);
    case Reply::Shape::kText:
      return ReadRecordAndText(reply.record_, reply.size_, reply.text_, echo, status);
  }
  return false;
}

std::int32_t ExchangeResult(bool read_ok, std::uint32_t echo, std::int32_t status, std::uint32_t command) {
  if (!read_ok) return status < 0 ? status : wire::kIpcRecvFailed;
  if (echo != command) return wire::kIpcCallFailed;
  return status;
}

std::int32_t Exchange(const Request& request, const Reply& reply) {
  if (!Client().Connected()) return wire::kNoIpcConnection;
  if (!request.Send()) return wire::kIpcSendFailed;
  std::uint32_t echo = 0;
  std::int32_t status = 0;
  bool ok = ReadReply(reply, &echo, &status);
  return ExchangeResult(ok, echo, status, request.Command());
}

}  // namespace vl5::link
