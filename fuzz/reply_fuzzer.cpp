// libFuzzer target: the client's reply readers over the fake pipe. An input
// is what a hostile terminal sends back; its first byte picks the reader and
// the record size. Readers must never read past the stream, never allocate
// more than the reply can fill, and leave a rejected reply read to its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "src/link/protocol.h"
#include "tests/cpp/fake_pipe.h"

namespace {

using namespace vl5;

constexpr std::size_t kRecordSizes[] = {0, 1, 4, 8, 60, 88, 232, 1784};

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t choice = data[0];
  fake::Reset();
  fake::Queue(fake::Bytes(data + 1, data + size));
  Require(link::Client().Connect(u"fake"));
  const std::size_t element = kRecordSizes[(choice >> 2) % (sizeof(kRecordSizes) / sizeof(kRecordSizes[0]))];
  std::uint32_t echo = 0, value = 0, count = 0;
  std::int32_t status = 0;
  bool ok = false;
  switch (choice & 3) {
    case 0:
      ok = link::ReadStatusReply(&echo, &status);
      break;
    case 1:
      ok = link::ReadValueReply(&echo, &status, &value);
      break;
    case 2: {
      std::vector<std::uint8_t> record(element);
      ok = link::ReadSingleRecordReply(&echo, &status, record.data(), record.size());
      break;
    }
    case 3: {
      std::vector<std::uint8_t> block;
      ok = link::ReadRecordListReply(&echo, &status, element,
                                     [&](std::uint32_t n) -> void* {
                                       // The count was checked against the bytes announced.
                                       Require(std::uint64_t{n} * element <= size);
                                       block.resize(std::size_t{n} * element + 1);
                                       return block.data();
                                     },
                                     &count);
      if (ok) Require(std::uint64_t{count} * element <= size);
      break;
    }
  }
  const fake::PipeScript& pipe = fake::Pipe();
  Require(pipe.consumed <= pipe.incoming.size() && pipe.foreign.empty());
  (void)link::ExchangeResult(ok, echo, status, 0);
  link::Client().Disconnect();
  return 0;
}
