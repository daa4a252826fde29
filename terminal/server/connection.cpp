#include "terminal/server/connection.h"

#include "terminal/server/dispatch.h"
#include "terminal/server/request_reader.h"
#include "src/wire/records.h"

namespace vl5::terminal::server {

namespace {

class PipeSink : public ByteSink {
 public:
  PipeSink(os::PipeHandle pipe, std::int32_t stall_ms) : pipe_(pipe), stall_ms_(stall_ms) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    std::uint32_t error = 0;
    return os::WritePipeWithin(pipe_, data, size, stall_ms_, &error);
  }

 private:
  os::PipeHandle pipe_;
  std::int32_t stall_ms_;
};

}  // namespace

bool ServeRequest(Terminal& terminal, ClientState& client, const std::uint8_t* body, std::uint32_t length,
                  ByteSink& sink, std::vector<std::uint8_t>& reply_buffer) {
  const std::uint32_t command = wire::Load<std::uint32_t>(body, 0);
  Context context{terminal, client, terminal.NowMs()};
  ReplyWriter reply(sink, command, reply_buffer);
  Dispatch(context, command, body + 4, length - 4, reply);
  return reply.healthy();
}

void ServeClient(Terminal& terminal, os::PipeHandle pipe, const Limits& limits) {
  ClientState client;
  PipeSink sink(pipe, limits.reply_stall_ms);
  RequestReader requests(pipe, limits.request_ms);
  std::vector<std::uint8_t> reply_buffer;
  const std::uint8_t* body = nullptr;
  std::uint32_t length = 0;
  while (requests.Next(&body, &length)) {
    if (!ServeRequest(terminal, client, body, length, sink, reply_buffer)) return;
  }
}

}  // namespace vl5::terminal::server
