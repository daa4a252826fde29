// Writes the one reply frame of a request: length, echo, status, data.
// Replies are buffered and streamed, so a million-bar reply never exists in
// memory whole; its length is declared up front and the writer checks that
// exactly that many bytes follow. A reply that comes out at another size
// leaves the stream unusable, and the connection is then dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vl5::terminal::server {

// Where reply bytes go: the client's pipe, or memory in tests.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool Write(const std::uint8_t* data, std::size_t size) = 0;
};

class ReplyWriter {
 public:
  // `buffer` is the connection's, reused from reply to reply.
  ReplyWriter(ByteSink& sink, std::uint32_t echo, std::vector<std::uint8_t>& buffer);
  ReplyWriter(const ReplyWriter&) = delete;
  ReplyWriter& operator=(const ReplyWriter&) = delete;

  // Reply carrying only the status.
  void Status(std::int32_t status);
  // Status and one 32-bit value.
  void Value(std::int32_t status, std::uint32_t value);
  // Status and one fixed-size record.
  void Record(std::int32_t status, const std::vector<std::uint8_t>& record, std::size_t size);

  // Streaming: declare the size of the data after the status, Put exactly
  // that many bytes, then End. False when the size cannot be framed.
  bool Begin(std::int32_t status, std::uint64_t data_size);
  void Put(const void* bytes, std::size_t n);
  void PutU32(std::uint32_t value) { Put(&value, sizeof(value)); }
  void End();

  // Ends a request that failed part-way with `status`, when nothing of its
  // reply was written yet. A reply already begun cannot be finished
  // truthfully: the stream is then unusable. A finished reply stands.
  void Fail(std::int32_t status);

  bool replied() const { return replied_; }
  // False once a write failed or a reply came out at the wrong size.
  bool healthy() const { return healthy_; }

 private:
  void Flush();

  ByteSink& sink_;
  std::uint32_t echo_;
  std::vector<std::uint8_t>& buffer_;
  std::uint64_t remaining_ = 0;  // data bytes still owed
  bool open_ = false;
  bool replied_ = false;
  bool healthy_ = true;
};

}  // namespace vl5::terminal::server
