// Building request payloads and reading reply frames in tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "terminal/model/terminal.h"
#include "terminal/server/dispatch.h"
#include "terminal/server/reply.h"
#include "src/wire/records.h"

namespace vl5::terminal::testing {

using Bytes = std::vector<std::uint8_t>;

class Request {
 public:
  template <typename T>
  Request& Add(T value) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
    bytes_.insert(bytes_.end(), p, p + sizeof(value));
    return *this;
  }
  Request& Str(const std::u16string& text) {
    Add(static_cast<std::uint32_t>(text.size()));
    for (char16_t unit : text) Add(static_cast<std::uint16_t>(unit));
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }
  // The whole frame: length, command, payload.
  Bytes Frame(std::uint32_t command) const {
    Request frame;
    frame.Add(static_cast<std::uint32_t>(4 + bytes_.size())).Add(command);
    Bytes out = frame.bytes();
    out.insert(out.end(), bytes_.begin(), bytes_.end());
    return out;
  }

 private:
  Bytes bytes_;
};

struct Reply {
  std::uint32_t length = 0;  // as framed: bytes after the length field
  std::uint32_t echo = 0;
  std::int32_t status = 0;
  Bytes data;             // after the status
  std::size_t total = 0;  // bytes written in all
  bool healthy = false;

  template <typename T>
  T At(std::size_t offset) const {
    return wire::Load<T>(data.data(), static_cast<std::uint32_t>(offset));
  }
};

class MemorySink : public server::ByteSink {
 public:
  bool Write(const std::uint8_t* data, std::size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
  Bytes bytes;
};

inline Reply ParseReply(const Bytes& bytes) {
  Reply reply;
  reply.total = bytes.size();
  if (bytes.size() < 12) return reply;
  reply.length = wire::Load<std::uint32_t>(bytes.data(), 0);
  reply.echo = wire::Load<std::uint32_t>(bytes.data(), 4);
  reply.status = wire::Load<std::int32_t>(bytes.data(), 8);
  reply.data.assign(bytes.begin() + 12, bytes.end());
  return reply;
}

// The request as if it arrived at `now_ms` (-1: the terminal's clock now).
inline Reply Call(Terminal& terminal, server::ClientState& client, std::uint32_t command, const Bytes& payload,
                  std::int64_t now_ms = -1) {
  MemorySink sink;
  server::Context context{terminal, client, now_ms < 0 ? terminal.NowMs() : now_ms};
  std::vector<std::uint8_t> buffer;
  server::ReplyWriter writer(sink, command, buffer);
  server::Dispatch(context, command, payload.data(), payload.size(), writer);
  Reply reply = ParseReply(sink.bytes);
  reply.healthy = writer.healthy();
  return reply;
}

// A terminal with a frozen clock and no waiting after a login.
inline Settings TestSettings() {
  Settings settings;
  settings.clock_start = 1700000000;
  settings.connect_delay = 0;
  return settings;
}

inline Folders TestFolders() { return Folders{u"/opt/velmora", u"/data/velmora", u"/data/common"}; }

inline std::u16string Text(const Bytes& record, const wire::Field* field) {
  std::u16string text;
  for (std::uint32_t i = 0; i + 1 < field->size; i += 2) {
    const char16_t unit = static_cast<char16_t>(record[field->offset + i] | (record[field->offset + i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace vl5::terminal::testing
