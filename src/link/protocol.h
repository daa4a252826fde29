// The request protocol: frame shapes shared by every command, and the rules
// that turn one exchange into one result code.
//
// Request frame: u32 length (bytes after it), u32 command, payload.
// Reply frame:   u32 length, u32 echo, i32 status, reply data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "src/link/channel.h"
#include "src/wire/status.h"

namespace vl5::link {

// ---- writing requests ----------------------------------------------------------

// Bytes a counted string takes on the wire: its unit count, then the units.
inline std::uint32_t CountedSize(std::u16string_view text) {
  return 4 + 2 * static_cast<std::uint32_t>(text.size());
}
// Writes the length field and command id of a frame with `payload` bytes after them.
bool BeginFrame(PipeWriter* writer, std::uint32_t command, std::uint32_t payload);
bool AppendCounted(PipeWriter* writer, std::u16string_view text);

bool SendCommand(std::uint32_t command);
bool SendCommandWord(std::uint32_t command, std::uint32_t word);
bool SendCommandId64(std::uint32_t command, std::uint64_t id);
bool SendCommandRange(std::uint32_t command, std::int64_t from, std::int64_t to);
bool SendCommandString(std::uint32_t command, std::u16string_view text);
bool SendCommandStringFlag(std::uint32_t command, std::u16string_view text, bool flag);
bool SendCommandRecord(std::uint32_t command, const void* record, std::size_t size);

// ---- reading replies --------------------------------------------------------------
// Each output is stored as soon as its field is read, so a reply that fails
// after its status still delivers echo and status. True only when the reply
// was consumed exactly.

bool ReadReplyHead(PipeReader* reader, std::uint32_t* echo, std::int32_t* status);
// Passes `ok` through; a rejected reply is first read to its announced end.
bool FinishReply(PipeReader* reader, bool ok);
bool ReadStatusReply(std::uint32_t* echo, std::int32_t* status);
bool ReadValueReply(std::uint32_t* echo, std::int32_t* status, std::uint32_t* value);
bool ReadSingleRecordReply(std::uint32_t* echo, std::int32_t* status, void* record, std::size_t size);

// Reads a count and then count records straight into memory obtained from
// `allocate(count)` (which returns null on failure). The count is checked
// against the reply's announced length before anything is allocated.
template <typename Allocate>
bool ReadRecordListReply(std::uint32_t* echo, std::int32_t* status, std::size_t element_size,
                         Allocate&& allocate, std::uint32_t* count) {
  PipeReader reader(Client().Handle());
  std::uint32_t n = 0;
  if (!ReadReplyHead(&reader, echo, status) || !reader.ReadValue(&n)) return FinishReply(&reader, false);
  std::uint64_t bytes = std::uint64_t{n} * element_size;
  if (bytes > reader.Unread()) return FinishReply(&reader, false);
  void* block = allocate(n);
  if (block == nullptr) return FinishReply(&reader, false);
  *count = n;
  return FinishReply(&reader, reader.Read(block, static_cast<std::size_t>(bytes)) && reader.AtEnd());
}

// ---- exchange rules -------------------------------------------------------------------

// A failed read yields the status when a negative one was read, else
// kIpcRecvFailed; a wrong echo yields kIpcCallFailed; otherwise the status.
std::int32_t ExchangeResult(bool read_ok, std::uint32_t echo, std::int32_t status, std::uint32_t command);

// One exchange: connection check, send, read, result code.
// `send()` returns bool; `read(&echo, &status)` returns bool.
template <typename Send, typename Read>
std::int32_t Exchange(std::uint32_t command, Send&& send, Read&& read) {
  if (!Client().Connected()) return wire::kNoIpcConnection;
  if (!send()) return wire::kIpcSendFailed;
  std::uint32_t echo = 0;
  std::int32_t status = 0;
  bool ok = read(&echo, &status);
  return ExchangeResult(ok, echo, status, command);
}

}  // namespace vl5::link
