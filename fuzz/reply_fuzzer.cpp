// libFuzzer target: the client's reply readers over the fake pipe. An input
// is what a hostile terminal sends back; its first byte picks the reader and
// the record size. Readers must never read past the stream, never allocate
// more than the reply can fill, and leave a rejected reply read to its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "src/link/protocol.h"
#include "src/wire/commands.h"
#include "tests/cpp/fake_pipe.h"

namespace {

using namespace vl5;

// Sizes of real records and some others, and 0, which a list reader must refuse
// rather than divide by.
constexpr std::size_t kRecordSizes[] = {1, 4, 8, 60, 88, 232, 1784, 0};

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t choice = data[0];
  fake::Reset();
  fake::Queue(fake::Bytes(data + 1, data + size));
  Require(link::Client().Connect(u"fake").ok());
  const std::size_t element = kRecordSizes[(choice >> 3) % (sizeof(kRecordSizes) / sizeof(kRecordSizes[0]))];
  // Room handed out must be filled by bytes that arrived.
  auto fits = [&](std::uint32_t n) { Require(std::uint64_t{n} * element <= size); };
  std::vector<std::uint8_t> block;
  auto allocate = [&](std::uint32_t n) -> void* {
    fits(n);
    block.resize(std::size_t{n} * element + 1);
    return block.data();
  };
  auto take = [&](std::uint32_t total, const std::uint8_t*, std::uint32_t n) {
    fits(total);
    Require(n <= total);
    return true;
  };
  std::uint32_t value = 0, count = 0;
  link::RecordBody<1784> body;
  link::TextBlock text;
  std::vector<std::uint8_t> record(element);
  const link::Request request(wire::kCmdSymbolInfo);
  switch (choice & 7) {
    case 0:
      link::Exchange(request, link::Reply::Status());
      break;
    case 1:
      link::Exchange(request, link::Reply::Value(&value));
      break;
    case 2:
      link::Exchange(request, link::Reply::Record(&body, element));
      break;
    case 3:
      link::Exchange(request, link::Reply::List(element, allocate, &count));
      break;
    case 4:
      link::Exchange(request, link::Reply::Pieces(element, take, &count));
      break;
    default:
      link::Exchange(request, link::Reply::RecordAndText(record.data(), record.size(), &text));
      break;
  }
  const fake::PipeScript& pipe = fake::Pipe();
  Require(pipe.consumed <= pipe.incoming.size() && pipe.foreign.empty());
  link::Client().Disconnect();
  return 0;
}
