// libFuzzer target: the terminal's request decoding. An input is a stream of
// request frames as a client would send them; each is dispatched to a fresh
// terminal, and every one must get exactly one well-formed reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "src/wire/records.h"
#include "terminal/server/request_reader.h"
#include "tests/cpp/terminal/request_helpers.h"

namespace {

using namespace vl5::terminal;

using testing::MemorySink;

Settings FuzzSettings() {
  Settings settings = testing::TestSettings();
  // A frozen clock, so an input always does the same, two months into the
  // oldest histories: a fresh terminal per input then answers any range
  // quickly (later histories have not begun, which is a case too).
  settings.clock_start = 951868800;  // 2000-03-01
  settings.maxbars = 1000;           // the smallest allowed
  settings.stepped = true;           // the clock's control requests move it; each input starts afresh
  return settings;
}

// One reply frame: its length field counts exactly the bytes that follow.
void CheckReply(const MemorySink& sink, const server::ReplyWriter& writer, std::uint32_t command) {
  const std::vector<std::uint8_t>& out = sink.bytes;
  if (!writer.healthy() || !writer.replied() || out.size() < 12 ||
      vl5::wire::Load<std::uint32_t>(out.data(), 0) != out.size() - 4 ||
      vl5::wire::Load<std::uint32_t>(out.data(), 4) != command) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Terminal terminal(FuzzSettings(), testing::TestFolders());
  server::ClientState client;
  // Frames as the connection reads them: a length, then that many bytes.
  while (size >= 8) {
    const std::uint32_t length = vl5::wire::Load<std::uint32_t>(data, 0);
    if (length < 4 || length > server::kMaxRequestLength) return 0;  // the connection is dropped
    const std::size_t body = length < size - 4 ? length : size - 4;
    if (body < 4) return 0;
    const std::uint32_t command = vl5::wire::Load<std::uint32_t>(data, 4);
    MemorySink sink;
    std::vector<std::uint8_t> buffer;
    server::Context context{terminal, client, terminal.NowMs()};
    server::ReplyWriter writer(sink, command, buffer);
    server::Dispatch(context, command, data + 8, body - 4, writer);
    CheckReply(sink, writer, command);
    data += 4 + body;
    size -= 4 + body;
  }
  return 0;
}
