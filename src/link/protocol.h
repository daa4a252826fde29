// The request protocol: the one path from a module function onto the pipe.
//
// Contract. Every exchange is one call, Exchange(request, reply): connection
// check, one request frame out, one reply frame in, one result code back. No
// other file builds a frame or reads one; the channel below this file moves
// bytes and knows nothing of commands.
//
// Threading: calls run on the calling thread with the interpreter lock held
// and block on the pipe without a timeout, so exchanges never overlap and the
// shared client needs no lock. A Request and a Reply live for one exchange.
//
// Exchange rules (in this order):
//   not connected                           -> kNoIpcConnection, nothing sent
//   the request could not be written whole  -> kIpcSendFailed
//   the reply failed its shape: the status if a negative one was read, else
//                                              kIpcRecvFailed
//   echo differs from the command           -> kIpcCallFailed
//   otherwise                               -> the status
// A reply must be consumed exactly: shorter or longer than its shape fails.
// A rejected reply is read to its announced end, so the next exchange starts
// on its own reply. Every output is stored as soon as its field is read.
//
// Frames. Request: u32 length (bytes after it), u32 command, payload.
// Reply: u32 length, u32 echo, i32 status, reply data.
//
// Small frames: a request of up to kSmallFrame bytes is gathered on the stack
// and written once; a fixed-size reply whose announced length fits its shape
// is read with one read straight into the caller's buffer. Larger frames go
// through the channel's 16 KiB buffered writer and reader. Either way a small
// call costs one write and two reads (length, then body).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <type_traits>

#include "src/link/channel.h"
#include "src/wire/status.h"

namespace vl5::link {

// ---- requests ---------------------------------------------------------------------

// Requests up to this size (length field included) leave from the stack.
inline constexpr std::size_t kSmallFrame = 1024;
// The largest piece of a list handed over in pieces (one record if larger).
inline constexpr std::size_t kPieceBytes = 64 * 1024;

// One request frame, described field by field; it measures its own length.
// Values are copied in; Bytes and Counted refer to the caller's memory, which
// must outlive the request (one full expression is the usual life).
class Request {
 public:
  explicit Request(std::uint32_t command) : command_(command) { Value(command); }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  template <typename T>
  Request& Value(T value) {  // little-endian hosts only, as the wire
    static_assert(std::is_arithmetic_v<T>, "fixed-width fields only");
    return Copy(&value, sizeof(value));
  }
  Request& Bytes(const void* data, std::size_t n);
  // A counted string: its UTF-16 unit count, then the units.
  Request& Counted(std::u16string_view text) {
    Value(static_cast<std::uint32_t>(text.size()));
    return Bytes(text.data(), 2 * text.size());
  }

  std::uint32_t Command() const { return command_; }
  // Writes the frame; false when it could not be written whole.
  bool Send() const;

 private:
  static constexpr std::size_t kMaxParts = 8;
  static constexpr std::size_t kScratchSize = 64;
  struct Part {
    const void* data;  // null: `offset` into the scratch
    std::size_t offset;
    std::size_t size;
  };

  Request& Copy(const void* data, std::size_t n);
  const void* PartData(const Part& part) const { return part.data ? part.data : scratch_ + part.offset; }

  std::uint32_t command_;
  std::uint64_t payload_ = 0;  // bytes after the length field
  bool overflow_ = false;      // more parts than room: never sent
  std::size_t part_count_ = 0;
  std::size_t scratch_used_ = 0;
  Part parts_[kMaxParts];
  std::uint8_t scratch_[kScratchSize];
};

// ---- replies ------------------------------------------------------------------------

// Room for a single-record reply body, echo and status in front of the
// record, so that the whole body lands with one read and no copy.
template <std::size_t Capacity>
struct RecordBody {
  static_assert(8 + Capacity <= kChannelBufferSize, "a single record is a small reply");
  std::uint8_t bytes[8 + Capacity] = {};
  std::uint8_t* Record() { return bytes + 8; }
};

// A non-owning reference to a callable `void*(std::uint32_t count)` that
// returns room for count records, or null. It refers to the callable, so a
// lambda written inline in Reply::List lives as long as the full expression.
class Allocator {
 public:
  Allocator() : object_(nullptr), call_([](void*, std::uint32_t) -> void* { return nullptr; }) {}
  template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Allocator>>>
  Allocator(F&& allocate)  // NOLINT: converts from any callable
      : object_(const_cast<void*>(static_cast<const void*>(&allocate))),
        call_([](void* object, std::uint32_t count) -> void* {
          return (*static_cast<std::remove_reference_t<F>*>(object))(count);
        }) {}
  void* operator()(std::uint32_t count) const { return call_(object_, count); }

 private:
  void* object_;
  void* (*call_)(void*, std::uint32_t);
};

// A non-owning reference to a callable
// `bool(std::uint32_t total, const std::uint8_t* records, std::uint32_t n)`
// that takes a list a piece at a time (see Reply::Pieces); false stops the
// reply. Like Allocator, it refers to the callable for one full expression.
class PieceSink {
 public:
  PieceSink()
      : object_(nullptr), call_([](void*, std::uint32_t, const std::uint8_t*, std::uint32_t) { return false; }) {}
  template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, PieceSink>>>
  PieceSink(F&& take)  // NOLINT: converts from any callable
      : object_(const_cast<void*>(static_cast<const void*>(&take))),
        call_([](void* object, std::uint32_t total, const std::uint8_t* records, std::uint32_t n) -> bool {
          return (*static_cast<std::remove_reference_t<F>*>(object))(total, records, n);
        }) {}
  bool operator()(std::uint32_t total, const std::uint8_t* records, std::uint32_t n) const {
    return call_(object_, total, records, n);
  }

 private:
  void* object_;
  bool (*call_)(void*, std::uint32_t, const std::uint8_t*, std::uint32_t);
};

// Version-style text data: a counted string read into a block of its own.
struct TextBlock {
  std::unique_ptr<char16_t[]> units;
  std::uint32_t count = 0;
  std::u16string_view View() const { return {units.get(), count}; }
};

// What a reply carries after echo and status, and where it goes.
class Reply {
 public:
  // Nothing.
  static Reply Status() { return Reply(Shape::kFixed); }
  // One 4-byte unsigned value.
  static Reply Value(std::uint32_t* value) {
    Reply r(Shape::kValue);
    r.value_ = value;
    r.size_ = sizeof(*value);
    return r;
  }
  // One record of `size` bytes into `body` (size at most its capacity).
  template <std::size_t Capacity>
  static Reply Record(RecordBody<Capacity>* body, std::size_t size = Capacity) {
    Reply r(Shape::kFixed);
    r.body_ = body->bytes;
    r.size_ = size <= Capacity ? size : Capacity;
    return r;
  }
  // A count, then count records of `size` bytes straight into memory from
  // `allocate(count)`. The count is checked against the announced length
  // before anything is allocated; a zero count still asks for a block.
  static Reply List(std::size_t size, Allocator allocate, std::uint32_t* count) {
    Reply r(Shape::kList, allocate);
    r.size_ = size;
    r.count_ = count;
    return r;
  }
  // The same list handed over in pieces instead of one block: `take(count,
  // null, 0)` once the count is checked, then `take(count, records, n)` for
  // each run of at most kPieceBytes, so the caller converts as they arrive.
  static Reply Pieces(std::size_t size, PieceSink take, std::uint32_t* count) {
    Reply r(Shape::kPieces);
    r.size_ = size;
    r.take_ = take;
    r.count_ = count;
    return r;
  }
  // A record of `size` bytes, then a counted string.
  static Reply RecordAndText(void* record, std::size_t size, TextBlock* text) {
    Reply r(Shape::kText);
    r.record_ = record;
    r.size_ = size;
    r.text_ = text;
    return r;
  }

 private:
  enum class Shape { kFixed, kValue, kList, kPieces, kText };
  explicit Reply(Shape shape, Allocator allocate = {}) : shape_(shape), allocate_(allocate) {}

  friend bool ReadReply(const Reply& reply, std::uint32_t* echo, std::int32_t* status);

  Shape shape_;
  Allocator allocate_;
  std::size_t size_ = 0;
  std::uint8_t* body_ = nullptr;    // kFixed: 8 + size_ bytes
  std::uint32_t* value_ = nullptr;  // kValue
  std::uint32_t* count_ = nullptr;  // kList, kPieces
  PieceSink take_;                  // kPieces
  void* record_ = nullptr;          // kText
  TextBlock* text_ = nullptr;       // kText
};

// Reads one reply of the given shape. True only when it was consumed exactly.
bool ReadReply(const Reply& reply, std::uint32_t* echo, std::int32_t* status);

// ---- exchanges ----------------------------------------------------------------------

// The result code of a reply read (see the rules at the top).
std::int32_t ExchangeResult(bool read_ok, std::uint32_t echo, std::int32_t status, std::uint32_t command);

// One exchange: connection check, send, read, result code.
std::int32_t Exchange(const Request& request, const Reply& reply);

}  // namespace vl5::link
