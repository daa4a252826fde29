#include "terminal/server/connection.h"

#include <vector>

#include "terminal/server/context.h"
#include "terminal/server/dispatch.h"
#include "terminal/server/reply.h"
#include "src/wire/records.h"

namespace vl5::terminal::server {

namespace {

class PipeSink : public ByteSink {
 public:
  explicit PipeSink(os::PipeHandle pipe) : pipe_(pipe) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    std::uint32_t error = 0;
    return os::WritePipe(pipe_, data, size, &error);
  }

 private:
  os::PipeHandle pipe_;
};

}  // namespace

void ServeClient(Terminal& terminal, os::PipeHandle pipe) {
  ClientState client;
  PipeSink sink(pipe);
  std::vector<std::uint8_t> body;
  for (;;) {
    std::uint32_t error = 0;
    std::uint8_t header[4];
    if (!os::ReadPipe(pipe, header, sizeof(header), &error)) return;
    const std::uint32_t length = wire::Load<std::uint32_t>(header, 0);
    // The length counts the command id, so it is at least 4.
    if (length < 4 || length > kMaxRequestLength) return;
    body.resize(length);
    if (!os::ReadPipe(pipe, body.data(), length, &error)) return;

    const std::uint32_t command = wire::Load<std::uint32_t>(body.data(), 0);
    Context context{terminal, client, terminal.NowMs()};
    ReplyWriter reply(sink, command);
    Dispatch(context, command, body.data() + 4, length - 4, reply);
    if (!reply.healthy()) return;
  }
}

}  // namespace vl5::terminal::server
