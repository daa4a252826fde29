#include "terminal/server/connection.h"

#include <algorithm>
#include <vector>

#include "terminal/core/clock.h"
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

// Reads exactly n bytes into `out`, all of them by `deadline_ms`.
bool ReadBy(os::PipeHandle pipe, std::uint8_t* out, std::size_t n, std::int64_t deadline_ms) {
  while (n > 0) {
    const std::int64_t left = deadline_ms - SteadyMs();
    std::size_t got = 0;
    std::uint32_t error = 0;
    if (left <= 0 || !os::ReadPipeSome(pipe, out, n, static_cast<std::int32_t>(left), &got, &error)) return false;
    out += got;
    n -= got;
  }
  return true;
}

// The body grows a bounded step at a time as it arrives: an announced
// length alone holds no memory.
bool ReadBody(os::PipeHandle pipe, std::uint32_t length, std::int64_t deadline_ms, std::vector<std::uint8_t>* body) {
  constexpr std::size_t kStep = 64 * 1024;
  body->clear();
  while (body->size() < length) {
    const std::size_t have = body->size();
    const std::size_t step = std::min<std::size_t>(kStep, length - have);
    body->resize(have + step);
    if (!ReadBy(pipe, body->data() + have, step, deadline_ms)) return false;
  }
  return true;
}

}  // namespace

void ServeClient(Terminal& terminal, os::PipeHandle pipe, std::int32_t request_ms) {
  ClientState client;
  PipeSink sink(pipe);
  std::vector<std::uint8_t> body;
  std::vector<std::uint8_t> reply_buffer;
  for (;;) {
    // The first byte may take as long as the client likes; the rest of the
    // request then has `request_ms`.
    std::uint8_t header[4];
    std::size_t got = 0;
    std::uint32_t error = 0;
    if (!os::ReadPipeSome(pipe, header, 1, os::kNoTimeout, &got, &error)) return;
    const std::int64_t deadline_ms = SteadyMs() + request_ms;
    if (!ReadBy(pipe, header + 1, sizeof(header) - 1, deadline_ms)) return;
    const std::uint32_t length = wire::Load<std::uint32_t>(header, 0);
    // The length counts the command id, so it is at least 4.
    if (length < 4 || length > kMaxRequestLength) return;
    if (!ReadBody(pipe, length, deadline_ms, &body)) return;

    const std::uint32_t command = wire::Load<std::uint32_t>(body.data(), 0);
    Context context{terminal, client, terminal.NowMs()};
    ReplyWriter reply(sink, command, reply_buffer);
    Dispatch(context, command, body.data() + 4, length - 4, reply);
    if (!reply.healthy()) return;
    if (body.capacity() > 64 * 1024) std::vector<std::uint8_t>().swap(body);  // a rare large request
  }
}

}  // namespace vl5::terminal::server
