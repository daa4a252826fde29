// Buffering of the pipe writer and reader, observed at the system-call
// boundary through the fake pipe: how many reads and writes, of what size.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "tests/cpp/fake_pipe.h"
#include "src/link/channel.h"

namespace vl5::link {
namespace {

using fake::Bytes;
using fake::Pipe;

Bytes Pattern(std::size_t n, std::uint8_t seed = 0) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
  return out;
}

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<std::size_t> WriteSizes() {
  std::vector<std::size_t> sizes;
  for (const Bytes& w : Pipe().writes) sizes.push_back(w.size());
  return sizes;
}

class ChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::Reset(); }
  void TearDown() override { EXPECT_TRUE(Pipe().foreign.empty()) << "I/O on a handle other than the shared one"; }
  os::PipeHandle handle_ = fake::kFakeHandle;
};

// ---- writer ---------------------------------------------------------------------

TEST_F(ChannelTest, RequestThatFillsTheBufferLeavesInOneWriteAtFlush) {
  Bytes header = Pattern(8, 1), body = Pattern(kChannelBufferSize - 8, 2);
  PipeWriter writer(&handle_);
  ASSERT_TRUE(writer.Append(header.data(), header.size()));
  ASSERT_TRUE(writer.Append(body.data(), body.size()));
  EXPECT_TRUE(Pipe().writes.empty()) << "a full buffer must stay buffered until Flush";
  ASSERT_TRUE(writer.Flush());
  EXPECT_EQ(WriteSizes(), std::vector<std::size_t>{kChannelBufferSize});
  EXPECT_EQ(Concat(Pipe().writes), Concat({header, body}));
}

TEST_F(ChannelTest, OneByteOverTheBufferIsAFullWriteThenAFlushOfOne) {
  Bytes header = Pattern(8, 1), body = Pattern(kChannelBufferSize - 7, 2);
  PipeWriter writer(&handle_);
  ASSERT_TRUE(writer.Append(header.data(), header.size()));
  ASSERT_TRUE(writer.Append(body.data(), body.size()));
  ASSERT_TRUE(writer.Flush());
  EXPECT_EQ(WriteSizes(), (std::vector<std::size_t>{kChannelBufferSize, 1}));
  EXPECT_EQ(Concat(Pipe().writes), Concat({header, body}));
}

TEST_F(ChannelTest, AppendAfterAnExactlyFullBufferWritesItFirst) {
  Bytes a = Pattern(kChannelBufferSize, 3), b = Pattern(5, 4);
  PipeWriter writer(&handle_);
  ASSERT_TRUE(writer.Append(a.data(), a.size()));
  ASSERT_TRUE(writer.Append(b.data(), b.size()));
  ASSERT_TRUE(writer.Flush());
  EXPECT_EQ(WriteSizes(), (std::vector<std::size_t>{kChannelBufferSize, 5}));
  EXPECT_EQ(Concat(Pipe().writes), Concat({a, b}));
}

TEST_F(ChannelTest, LargeAppendFillsTheBufferThenWritesTheRestDirectly) {
  Bytes data = Pattern(40000, 5);
  PipeWriter writer(&handle_);
  ASSERT_TRUE(writer.Append(data.data(), data.size()));
  EXPECT_EQ(WriteSizes(), (std::vector<std::size_t>{kChannelBufferSize, 40000 - kChannelBufferSize}));
  ASSERT_TRUE(writer.Flush());
  EXPECT_EQ(WriteSizes(), (std::vector<std::size_t>{kChannelBufferSize, 23616, 0}));
  EXPECT_EQ(Concat(Pipe().writes), data);
}

TEST_F(ChannelTest, LargeAppendBehindAHeaderKeepsByteOrder) {
  Bytes header = Pattern(8, 6), data = Pattern(20000, 7);
  PipeWriter writer(&handle_);
  ASSERT_TRUE(writer.Append(header.data(), header.size()));
  ASSERT_TRUE(writer.Append(data.data(), data.size()));
  ASSERT_TRUE(writer.Flush());
  // The rest after the first full buffer fits, so it is buffered, not written directly.
  EXPECT_EQ(WriteSizes(), (std::vector<std::size_t>{kChannelBufferSize, 20008 - kChannelBufferSize}));
  EXPECT_EQ(Concat(Pipe().writes), Concat({header, data}));
}

// ---- reader ---------------------------------------------------------------------

TEST_F(ChannelTest, ShortReplyDeliversEchoAndStatusThenFailsWithoutPipeIo) {
  fake::Queue(fake::Reply(120, -4));
  fake::Queue(fake::Reply(121, 0, Bytes(4, 9)));  // the next reply must stay untouched
  PipeReader reader(&handle_);
  std::uint32_t echo = 0, value = 0;
  std::int32_t status = 0;
  ASSERT_TRUE(reader.BeginReply());
  ASSERT_TRUE(reader.ReadValue(&echo));
  ASSERT_TRUE(reader.ReadValue(&status));
  EXPECT_EQ(echo, 120u);
  EXPECT_EQ(status, -4);
  EXPECT_FALSE(reader.ReadValue(&value));
  EXPECT_EQ(Pipe().read_requests, (std::vector<std::size_t>{4, 8}));
  EXPECT_EQ(Pipe().consumed, 12u) << "the whole short reply, and nothing more, left the pipe";
  EXPECT_EQ(handle_, fake::kFakeHandle);
  EXPECT_TRUE(Pipe().closed.empty());
}

// A 20000-byte body is followed by another reply in the pipe; read in pieces
// of several sizes, it must never be over-read.
class LongReplyTest : public ChannelTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(LongReplyTest, NeverReadsPastTheAnnouncedLength) {
  const std::size_t piece = GetParam();
  Bytes body = Pattern(20000, 11);
  Bytes frame;
  fake::Put32(&frame, 20000);
  frame.insert(frame.end(), body.begin(), body.end());
  fake::Queue(frame);
  fake::Queue(fake::Reply(130, 0, Bytes{1, 2, 3, 4}));

  PipeReader reader(&handle_);
  ASSERT_TRUE(reader.BeginReply());
  Bytes got(body.size());
  // Echo and status first, as every exchange does: this pulls in the first chunk.
  ASSERT_TRUE(reader.Read(got.data(), 4));
  ASSERT_TRUE(reader.Read(got.data() + 4, 4));
  for (std::size_t at = 8; at < got.size(); at += piece) {
    std::size_t n = std::min(piece, got.size() - at);
    ASSERT_TRUE(reader.Read(got.data() + at, n)) << "at " << at;
  }
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(got, body);
  const auto& reads = Pipe().read_requests;
  ASSERT_GE(reads.size(), 2u);
  EXPECT_EQ(reads[0], 4u);
  EXPECT_EQ(reads[1], kChannelBufferSize);
  for (std::size_t i = 2; i < reads.size(); ++i) EXPECT_LE(reads[i], 20000 - kChannelBufferSize);
  EXPECT_EQ(std::accumulate(reads.begin(), reads.end(), std::size_t{0}), 4u + 20000u);
  EXPECT_FALSE(reader.Read(got.data(), 1)) << "nothing is left of this reply";

  PipeReader next(&handle_);
  std::uint32_t echo = 0;
  ASSERT_TRUE(next.BeginReply());
  ASSERT_TRUE(next.ReadValue(&echo));
  EXPECT_EQ(echo, 130u);
}

// 4: small pieces through the buffer; 1176 and 8192: a piece straddles the
// buffer's end; 19992: one big read that takes the buffered part first.
INSTANTIATE_TEST_SUITE_P(Pieces, LongReplyTest, ::testing::Values(4, 1176, 8192, 19992));

TEST_F(ChannelTest, BigReadsBypassTheBuffer) {
  Bytes body = Pattern(30000, 12);
  Bytes frame;
  fake::Put32(&frame, 30000);
  frame.insert(frame.end(), body.begin(), body.end());
  fake::Queue(frame);
  PipeReader reader(&handle_);
  Bytes got(body.size());
  ASSERT_TRUE(reader.BeginReply());
  ASSERT_TRUE(reader.Read(got.data(), 10000));
  ASSERT_TRUE(reader.Read(got.data() + 10000, 20000));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(got, body);
  EXPECT_EQ(Pipe().read_requests, (std::vector<std::size_t>{4, 10000, 20000}));
}

// ---- broken-pipe rule ---------------------------------------------------------------

struct FailureCase {
  std::uint32_t error;
  bool closes;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << "error " << c.error; }

class BrokenPipeRuleTest : public ChannelTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(BrokenPipeRuleTest, FailedWriteClosesOnlyForBrokenPipe) {
  Bytes data = Pattern(40000);
  Pipe().write_error = GetParam().error;
  PipeWriter writer(&handle_);
  EXPECT_FALSE(writer.Append(data.data(), data.size()));
  EXPECT_EQ(Pipe().writes.size(), 1u) << "nothing more is written after a failure";
  if (GetParam().closes) {
    EXPECT_EQ(handle_, os::kInvalidPipe);
    EXPECT_EQ(Pipe().closed, std::vector<os::PipeHandle>{fake::kFakeHandle});
    EXPECT_FALSE(writer.Flush());
    EXPECT_EQ(Pipe().writes.size(), 1u) << "no write on a closed handle";
  } else {
    EXPECT_EQ(handle_, fake::kFakeHandle);
    EXPECT_TRUE(Pipe().closed.empty());
  }
}

TEST_P(BrokenPipeRuleTest, FailedFlushClosesOnlyForBrokenPipe) {
  Pipe().write_error = GetParam().error;
  PipeWriter writer(&handle_);
  ASSERT_TRUE(writer.AppendValue<std::uint32_t>(4));
  EXPECT_FALSE(writer.Flush());
  EXPECT_EQ(handle_ == os::kInvalidPipe, GetParam().closes);
  EXPECT_EQ(Pipe().closed.size(), GetParam().closes ? 1u : 0u);
}

TEST_P(BrokenPipeRuleTest, FailedReadClosesOnlyForBrokenPipe) {
  fake::Queue(fake::Reply(120, 0, Bytes(4)));
  Pipe().read_error = GetParam().error;
  PipeReader reader(&handle_);
  EXPECT_FALSE(reader.BeginReply());
  EXPECT_EQ(handle_ == os::kInvalidPipe, GetParam().closes);
  EXPECT_EQ(Pipe().closed.size(), GetParam().closes ? 1u : 0u);
  if (GetParam().closes) {
    std::uint32_t echo = 0;
    EXPECT_FALSE(reader.BeginReply());
    EXPECT_FALSE(reader.ReadValue(&echo));
    EXPECT_EQ(Pipe().read_requests.size(), 1u) << "no read on a closed handle";
  }
}

TEST_P(BrokenPipeRuleTest, FailedBodyReadClosesOnlyForBrokenPipe) {
  fake::Queue(fake::Reply(120, 0, Bytes(4)));
  PipeReader reader(&handle_);
  ASSERT_TRUE(reader.BeginReply());
  Pipe().read_error = GetParam().error;
  std::uint32_t echo = 0;
  EXPECT_FALSE(reader.ReadValue(&echo));
  EXPECT_EQ(handle_ == os::kInvalidPipe, GetParam().closes);
}

INSTANTIATE_TEST_SUITE_P(Errors, BrokenPipeRuleTest,
                         ::testing::Values(FailureCase{os::kErrorBrokenPipe, true},
                                           FailureCase{5, false},    // access denied
                                           FailureCase{232, false},  // pipe being closed
                                           FailureCase{os::kErrorPipeBusy, false}),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                           return "Error" + std::to_string(info.param.error);
                         });

TEST_F(ChannelTest, ReplyCutShortByThePeerClosesTheHandle) {
  Bytes frame;
  fake::Put32(&frame, 100);
  frame.resize(4 + 40);  // the peer sends 40 of the 100 announced bytes, then closes
  fake::Queue(frame);
  PipeReader reader(&handle_);
  std::uint32_t echo = 0;
  ASSERT_TRUE(reader.BeginReply());
  EXPECT_FALSE(reader.ReadValue(&echo));
  EXPECT_EQ(handle_, os::kInvalidPipe);
}

// ---- the client ---------------------------------------------------------------------------

TEST_F(ChannelTest, ConnectFailureSaysWhy) {
  CInterClient client;
  Pipe().open_error = os::kErrorFileNotFound;
  Outcome failed = client.Connect(u"missing");
  EXPECT_EQ(failed.code, wire::kIpcInitializeFailed);
  EXPECT_EQ(failed.detail, u"CreateFile failed [2]");
  EXPECT_FALSE(client.Connected());
}

TEST_F(ChannelTest, DisconnectClosesAndClearsEverything) {
  {
    CInterClient client;
    ASSERT_TRUE(client.Connect(u"pipe").ok());
    client.Digest()[0] = 0xAB;
    client.Digest()[31] = 0xCD;
    client.Disconnect();
    EXPECT_FALSE(client.Connected());
    for (int i = 0; i < 32; ++i) EXPECT_EQ(client.Digest()[i], 0) << i;
    EXPECT_EQ(Pipe().closed, std::vector<os::PipeHandle>{fake::kFakeHandle});
  }
  EXPECT_EQ(Pipe().closed.size(), 1u) << "a disconnected client closes nothing more";

  {
    CInterClient connected;
    ASSERT_TRUE(connected.Connect(u"pipe").ok());
  }
  EXPECT_EQ(Pipe().closed.size(), 2u) << "the destructor closes an open pipe";
}

// Ctrl-C: a signal that interrupts a read runs the interpreter's pending
// handlers through the installed check; what the handler did decides.
enum class Handler { kReturns, kRaises, kShutsDown, kReconnects };
Handler g_handler = Handler::kReturns;

bool TestHandlers() {
  if (!Pipe().interrupting) return false;  // asked before a read: nothing pending
  switch (g_handler) {
    case Handler::kRaises:
      return true;
    case Handler::kShutsDown:
      Client().Disconnect();
      return false;
    case Handler::kReconnects:
      return !Client().Connect(u"again").ok();
    case Handler::kReturns:
      return false;
  }
  return false;
}

TEST_F(ChannelTest, SignalDuringARead) {
  struct Case {
    const char* what;
    Handler handler;
    bool read_ok, connected_after;
    std::size_t closes;
  };
  const Case cases[] = {
      {"a handler that returns: the read goes on", Handler::kReturns, true, true, 0},
      {"KeyboardInterrupt: the read fails, the link is dropped", Handler::kRaises, false, false, 1},
      {"a handler that shut the link down: nothing is closed twice", Handler::kShutsDown, false, false, 1},
      {"a handler that connected again: the new link stays", Handler::kReconnects, false, true, 1},
  };
  SetInterruptCheck(TestHandlers);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake::Reset();
    g_handler = c.handler;
    ASSERT_TRUE(Client().Connect(u"pipe").ok());
    fake::Queue(fake::Reply(1, 1));
    Pipe().interrupt_next_read = true;
    PipeReader reader(Client().Handle());
    EXPECT_EQ(reader.BeginReply(), c.read_ok);
    EXPECT_EQ(Client().Connected(), c.connected_after);
    EXPECT_EQ(Pipe().closed.size(), c.closes);
    Client().Disconnect();
  }
  SetInterruptCheck(nullptr);
}

}  // namespace
}  // namespace vl5::link
