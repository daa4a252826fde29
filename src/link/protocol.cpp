#include "src/link/protocol.h"

namespace vl5::link {

bool BeginFrame(PipeWriter* writer, std::uint32_t command, std::uint32_t payload) {
  return writer->AppendValue<std::uint32_t>(4 + payload) && writer->AppendValue(command);
}

bool AppendCounted(PipeWriter* writer, std::u16string_view text) {
  return writer->AppendValue(static_cast<std::uint32_t>(text.size())) &&
         writer->Append(text.data(), 2 * text.size());
}

bool SendCommand(std::uint32_t command) {
  PipeWriter writer(Client().Handle());
  return BeginFrame(&writer, command, 0) && writer.Flush();
}

bool SendCommandWord(std::uint32_t command, std::uint32_t word) {
  PipeWriter writer(Client().Handle());
  return BeginFrame(&writer, command, 4) && writer.AppendValue(word) && writer.Flush();
}

bool SendCommandId64(std::uint32_t command, std::uint64_t id) {
  PipeWriter writer(Client().Handle());
  return BeginFrame(&writer, command, 8) && writer.AppendValue(id) && writer.Flush();
}

bool SendCommandRange(std::uint32_t command, std::int64_t from, std::int64_t to) {
  PipeWriter writer(Client().Handle());
  return BeginFrame(&writer, command, 16) && writer.AppendValue(from) && writer.AppendValue(to) &&
         writer.Flush();
}

bool SendCommandString(std::uint32_t command, std::u16string_view text) {
  PipeWriter writer(Client().Handle());
  return BeginFrame(&writer, command, CountedSize(text)) && AppendCounted(&writer, text) &&
         writer.Flush();
}

bool SendCommandStringFlag(std::uint32_t command, std::u16string_view text, bool flag) {
  PipeWriter writer(Client().Handle());
  std::uint8_t byte = flag ? 1 : 0;
  return BeginFrame(&writer, command, CountedSize(text) + 1) && AppendCounted(&writer, text) &&
         writer.AppendValue(byte) && writer.Flush();
}

bool SendCommandRecord(std::uint32_t command, const void* record, std::size_t size) {
  PipeWriter writer(Client().Handle());
  return BeginFrame(&writer, command, static_cast<std::uint32_t>(size)) &&
         writer.Append(record, size) && writer.Flush();
}

bool ReadReplyHead(PipeReader* reader, std::uint32_t* echo, std::int32_t* status) {
  return reader->BeginReply() && reader->ReadValue(echo) && reader->ReadValue(status);
}

bool FinishReply(PipeReader* reader, bool ok) {
  if (!ok) reader->Discard();
  return ok;
}

bool ReadStatusReply(std::uint32_t* echo, std::int32_t* status) {
  PipeReader reader(Client().Handle());
  return FinishReply(&reader, ReadReplyHead(&reader, echo, status) && reader.AtEnd());
}

bool ReadValueReply(std::uint32_t* echo, std::int32_t* status, std::uint32_t* value) {
  PipeReader reader(Client().Handle());
  return FinishReply(&reader, ReadReplyHead(&reader, echo, status) && reader.ReadValue(value) && reader.AtEnd());
}

bool ReadSingleRecordReply(std::uint32_t* echo, std::int32_t* status, void* record, std::size_t size) {
  PipeReader reader(Client().Handle());
  return FinishReply(&reader, ReadReplyHead(&reader, echo, status) && reader.Read(record, size) && reader.AtEnd());
}

std::int32_t ExchangeResult(bool read_ok, std::uint32_t echo, std::int32_t status, std::uint32_t command) {
  if (!read_ok) return status < 0 ? status : wire::kIpcRecvFailed;
  if (echo != command) return wire::kIpcCallFailed;
  return status;
}

}  // namespace vl5::link
