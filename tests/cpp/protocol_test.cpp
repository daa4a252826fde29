// Request frames byte for byte, reply shapes, and how an exchange becomes a
// result code, all through the fake pipe behind the shared client.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "tests/cpp/fake_pipe.h"
#include "src/link/protocol.h"
#include "src/wire/commands.h"

namespace vl5::link {
namespace {

using fake::Bytes;
using fake::Pipe;

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    ASSERT_TRUE(Client().Connect(u"fake").ok());
  }
  void TearDown() override {
    Client().Disconnect();
    EXPECT_TRUE(Pipe().foreign.empty());
  }
  // The one write a small request must produce.
  static Bytes OnlyWrite() {
    EXPECT_EQ(Pipe().writes.size(), 1u);
    return Pipe().writes.empty() ? Bytes{} : Pipe().writes.front();
  }
};

// ---- request frames -----------------------------------------------------------------

TEST_F(ProtocolTest, CommandOnlyFrame) {
  ASSERT_TRUE(Request(wire::kCmdPositionsTotal).Send());
  EXPECT_EQ(OnlyWrite(), (Bytes{0x04, 0, 0, 0, 0x78, 0, 0, 0}));
}

TEST_F(ProtocolTest, WordFrame) {
  ASSERT_TRUE(Request(wire::kCmdVersion).Value<std::uint32_t>(0xA1B2C3D4).Send());
  EXPECT_EQ(OnlyWrite(), (Bytes{0x08, 0, 0, 0, 0x01, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1}));
}

TEST_F(ProtocolTest, Id64Frame) {
  ASSERT_TRUE(Request(wire::kCmdPositionsGetTicket).Value<std::uint64_t>(0x0102030405060708ULL).Send());
  EXPECT_EQ(OnlyWrite(), (Bytes{0x0C, 0, 0, 0, 0x7B, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1}));
}

TEST_F(ProtocolTest, RangeFrameKeepsSignedValues) {
  ASSERT_TRUE(
      Request(wire::kCmdHistoryDealsTotal).Value<std::int64_t>(-2).Value<std::int64_t>(0x0000000065000000LL).Send());
  EXPECT_EQ(OnlyWrite(), (Bytes{0x14, 0,    0,    0,    0x96, 0,    0,    0,        //
                                0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,     // from = -2
                                0x00, 0x00, 0x00, 0x65, 0x00, 0x00, 0x00, 0x00}));  // to
}

TEST_F(ProtocolTest, StringFrameCountsUtf16Units) {
  ASSERT_TRUE(Request(wire::kCmdSymbolInfo).Counted(u"EU\u00E9\U0001F600").Send());
  // Four characters, five units: the one outside the BMP counts two.
  EXPECT_EQ(OnlyWrite(), (Bytes{0x12, 0, 0,   0, 0xAA, 0,    0,    0,    0x05, 0,   0, 0,  //
                                'E',  0, 'U', 0, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE}));
}

TEST_F(ProtocolTest, EmptyStringFrame) {
  ASSERT_TRUE(Request(wire::kCmdSymbolsGetGroup).Counted(u"").Send());
  EXPECT_EQ(OnlyWrite(), (Bytes{0x08, 0, 0, 0, 0xAF, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ProtocolTest, StringAndFlagFrames) {
  ASSERT_TRUE(Request(wire::kCmdSymbolSelect).Counted(u"AB").Value<std::uint8_t>(1).Send());
  ASSERT_TRUE(Request(wire::kCmdSymbolSelect).Counted(u"AB").Value<std::uint8_t>(0).Send());
  ASSERT_EQ(Pipe().writes.size(), 2u);
  EXPECT_EQ(Pipe().writes[0], (Bytes{0x0D, 0, 0, 0, 0xAB, 0, 0, 0, 2, 0, 0, 0, 'A', 0, 'B', 0, 1}));
  EXPECT_EQ(Pipe().writes[1], (Bytes{0x0D, 0, 0, 0, 0xAB, 0, 0, 0, 2, 0, 0, 0, 'A', 0, 'B', 0, 0}));
}

TEST_F(ProtocolTest, RecordFrame) {
  Bytes record(232);
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(Request(wire::kCmdOrderCheck).Bytes(record.data(), record.size()).Send());
  Bytes expected{0xEC, 0, 0, 0, 0xA0, 0, 0, 0};
  expected.insert(expected.end(), record.begin(), record.end());
  EXPECT_EQ(OnlyWrite(), expected);
}

TEST_F(ProtocolTest, FrameLongerThanTheBufferArrivesWhole) {
  std::u16string text(10000, u'q');
  ASSERT_TRUE(Request(wire::kCmdSymbolsGetGroup).Counted(text).Send());
  ASSERT_EQ(Pipe().writes.size(), 2u);
  EXPECT_EQ(Pipe().writes[0].size(), kChannelBufferSize);
  Bytes all = Pipe().writes[0];
  all.insert(all.end(), Pipe().writes[1].begin(), Pipe().writes[1].end());
  ASSERT_EQ(all.size(), 4u + 20008u);
  EXPECT_EQ(Bytes(all.begin(), all.begin() + 12), (Bytes{0x28, 0x4E, 0, 0, 0xAF, 0, 0, 0, 0x10, 0x27, 0, 0}));
  for (std::size_t i = 12; i < all.size(); i += 2) {
    ASSERT_EQ(all[i], 'q');
    ASSERT_EQ(all[i + 1], 0);
  }
}

// Gathered on the stack or buffered by the writer, a frame of up to 16 KiB
// leaves in one write, byte for byte the fields in order.
TEST_F(ProtocolTest, FramesOnEitherSideOfTheSmallPathLeaveInOneWrite) {
  for (std::size_t frame : {kSmallFrame, kSmallFrame + 2, kChannelBufferSize}) {
    fake::Reset();
    ASSERT_TRUE(Client().Connect(u"fake").ok());
    std::u16string text((frame - 12) / 2, u'z');
    ASSERT_TRUE(Request(wire::kCmdSymbolsGetGroup).Counted(text).Send());
    Bytes expected;
    fake::Put32(&expected, static_cast<std::uint32_t>(frame - 4));
    fake::Put32(&expected, wire::kCmdSymbolsGetGroup);
    fake::Put32(&expected, static_cast<std::uint32_t>(text.size()));
    for (char16_t unit : text) expected.insert(expected.end(), {static_cast<std::uint8_t>(unit), 0});
    EXPECT_EQ(OnlyWrite(), expected) << frame;
  }
}

// A request with more fields than the builder holds is never half sent.
TEST_F(ProtocolTest, RequestBeyondItsFieldRoomIsRefusedUnsent) {
  Request request(wire::kCmdVersion);
  for (int i = 0; i < 20; ++i) request.Value<std::uint64_t>(i);
  EXPECT_FALSE(request.Send());
  std::uint8_t byte = 0;
  Request parts(wire::kCmdVersion);
  for (int i = 0; i < 20; ++i) parts.Bytes(&byte, 1).Value<std::uint8_t>(0);
  EXPECT_FALSE(parts.Send());
  EXPECT_TRUE(Pipe().writes.empty());
}

// ---- reply shapes ---------------------------------------------------------------------

TEST_F(ProtocolTest, ValueReplyIsReadWithTwoReads) {
  fake::Queue({0x0C, 0, 0, 0, 0x78, 0, 0, 0, 0, 0, 0, 0, 0x03, 0, 0, 0});
  std::uint32_t echo = 0, value = 0;
  std::int32_t status = -1;
  ASSERT_TRUE(ReadReply(Reply::Value(&value), &echo, &status));
  EXPECT_EQ(echo, 120u);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(value, 3u);
  EXPECT_EQ(Pipe().read_requests, (std::vector<std::size_t>{4, 12}));
}

// The road of one small call: one write of the whole request, then the length
// and the body (echo, status, 60-byte tick) with one read each, the record
// landing in the caller's body.
TEST_F(ProtocolTest, SmallCallIsOneWriteAndTwoReads) {
  Bytes tick(60);
  for (std::size_t i = 0; i < tick.size(); ++i) tick[i] = static_cast<std::uint8_t>(i + 1);
  fake::Queue(fake::Reply(wire::kCmdSymbolInfoTick, 0, tick));
  RecordBody<60> body;
  EXPECT_EQ(Exchange(Request(wire::kCmdSymbolInfoTick).Counted(u"EURUSD"), Reply::Record(&body)), 0);
  EXPECT_EQ(OnlyWrite().size(), 24u);
  EXPECT_EQ(Pipe().read_requests, (std::vector<std::size_t>{4, 68}));
  EXPECT_EQ(Bytes(body.Record(), body.Record() + 60), tick);
}

TEST_F(ProtocolTest, RepliesMustBeConsumedExactly) {
  Bytes four{1, 2, 3, 4};
  std::uint32_t echo = 0, value = 0;
  std::int32_t status = 0;
  RecordBody<8> body;
  std::uint8_t* record = body.Record();

  fake::Queue(fake::Reply(120, 0, Bytes{3, 0, 0, 0, 0, 0, 0, 0}));  // value + 4 extra bytes
  EXPECT_FALSE(ReadReply(Reply::Value(&value), &echo, &status));
  fake::Queue(fake::Reply(192, 0, four));  // a status reply with data
  EXPECT_FALSE(ReadReply(Reply::Status(), &echo, &status));
  fake::Queue(fake::Reply(162, 0, four));  // a record reply short of its record
  EXPECT_FALSE(ReadReply(Reply::Record(&body), &echo, &status));
  fake::Queue(fake::Reply(162, 0, Bytes(12)));  // ... and one longer than it
  EXPECT_FALSE(ReadReply(Reply::Record(&body), &echo, &status));

  fake::Queue(fake::Reply(192, 0));
  EXPECT_TRUE(ReadReply(Reply::Status(), &echo, &status));
  fake::Queue(fake::Reply(162, 0, Bytes(8, 0x5A)));
  EXPECT_TRUE(ReadReply(Reply::Record(&body), &echo, &status));
  EXPECT_EQ(record[7], 0x5A);
  EXPECT_EQ(Pipe().Unconsumed(), 0u);
}

// Records a call of the allocator and hands out a block the test frees.
struct TrackingAllocator {
  std::vector<std::uint32_t> calls;
  std::vector<std::unique_ptr<std::uint8_t[]>> blocks;
  std::size_t element_size;
  bool fail = false;
  void* operator()(std::uint32_t count) {
    calls.push_back(count);
    if (fail) return nullptr;
    blocks.emplace_back(new std::uint8_t[count * element_size + 1]);
    return blocks.back().get();
  }
};

Bytes RecordList(std::uint32_t count, std::size_t element_size, std::size_t records_sent) {
  Bytes data;
  fake::Put32(&data, count);
  for (std::size_t i = 0; i < records_sent * element_size; ++i) data.push_back(static_cast<std::uint8_t>(i % 251));
  return data;
}

TEST_F(ProtocolTest, RecordListCountBeyondTheReplyFailsBeforeAllocating) {
  for (std::uint32_t count : {2u, 1000u, 0xFFFFFFFFu}) {
    fake::Reset();
    ASSERT_TRUE(Client().Connect(u"fake").ok());
    fake::Queue(fake::Reply(121, 0, RecordList(count, 320, 1)));
    TrackingAllocator allocate{{}, {}, 320};
    std::uint32_t echo = 0, n = 0;
    std::int32_t status = 0;
    EXPECT_FALSE(ReadReply(Reply::List(320, allocate, &n), &echo, &status)) << count;
    EXPECT_TRUE(allocate.calls.empty()) << "allocator called for count " << count;
    EXPECT_EQ(ExchangeResult(false, echo, status, 121), wire::kIpcRecvFailed);
  }
}

TEST_F(ProtocolTest, RecordListIsReadStraightIntoTheAllocation) {
  const std::size_t size = 320;
  Bytes data = RecordList(100, size, 100);
  fake::Queue(fake::Reply(121, 0, data));
  TrackingAllocator allocate{{}, {}, size};
  std::uint32_t echo = 0, n = 0;
  std::int32_t status = -1;
  ASSERT_TRUE(ReadReply(Reply::List(size, allocate, &n), &echo, &status));
  ASSERT_EQ(allocate.calls, std::vector<std::uint32_t>{100});
  EXPECT_EQ(n, 100u);
  EXPECT_EQ(std::memcmp(allocate.blocks[0].get(), data.data() + 4, 100 * size), 0);
  // Length, one buffered chunk with echo, status, count and the first records,
  // then the rest of the array straight into the block.
  EXPECT_EQ(Pipe().read_requests, (std::vector<std::size_t>{4, kChannelBufferSize, 12 + 32000 - kChannelBufferSize}));
}

TEST_F(ProtocolTest, RecordListEdgeCases) {
  std::uint32_t echo = 0, n = 7;
  std::int32_t status = 0;
  {
    fake::Queue(fake::Reply(121, 0, RecordList(0, 320, 0)));
    TrackingAllocator allocate{{}, {}, 320};
    EXPECT_TRUE(ReadReply(Reply::List(320, allocate, &n), &echo, &status));
    EXPECT_EQ(allocate.calls, std::vector<std::uint32_t>{0}) << "an empty list still gets a block";
    EXPECT_EQ(n, 0u);
  }
  {
    fake::Queue(fake::Reply(121, 0, RecordList(1, 320, 1)));
    TrackingAllocator allocate{{}, {}, 320, true};
    EXPECT_FALSE(ReadReply(Reply::List(320, allocate, &n), &echo, &status));
    EXPECT_EQ(allocate.calls.size(), 1u);
  }
  {
    Bytes data = RecordList(1, 320, 1);
    data.push_back(0);  // one byte too many
    fake::Queue(fake::Reply(121, 0, data));
    TrackingAllocator allocate{{}, {}, 320};
    EXPECT_FALSE(ReadReply(Reply::List(320, allocate, &n), &echo, &status));
  }
}

// ---- exchange results -------------------------------------------------------------------

std::int32_t PositionsTotal(std::uint32_t* value) {
  return Exchange(Request(wire::kCmdPositionsTotal), Reply::Value(value));
}

TEST_F(ProtocolTest, RecordListInPiecesArrivesWholeAndInOrder) {
  const std::size_t size = 2993;  // 21 records a piece
  Bytes data = RecordList(50, size, 50);
  for (bool refuse_second : {false, true}) {
    fake::Queue(fake::Reply(121, 0, data));
    fake::Queue(fake::Reply(120, 0, {3, 0, 0, 0}));
    Bytes seen;
    std::vector<std::uint32_t> pieces;
    auto take = [&](std::uint32_t total, const std::uint8_t* records, std::uint32_t n) {
      EXPECT_EQ(total, 50u);
      pieces.push_back(n);
      if (records != nullptr) seen.insert(seen.end(), records, records + n * size);
      return !(refuse_second && pieces.size() == 3);
    };
    std::uint32_t echo = 0, n = 0;
    std::int32_t status = -1;
    EXPECT_EQ(ReadReply(Reply::Pieces(size, take, &n), &echo, &status), !refuse_second);
    if (refuse_second) {
      EXPECT_EQ(pieces, (std::vector<std::uint32_t>{0, 21, 21}));
    } else {
      EXPECT_EQ(pieces, (std::vector<std::uint32_t>{0, 21, 21, 8}));
      EXPECT_EQ(seen, Bytes(data.begin() + 4, data.end()));
    }
    // A refused list is read to its end: the next reply is in step.
    std::uint32_t value = 0;
    EXPECT_EQ(PositionsTotal(&value), 0);
    EXPECT_EQ(value, 3u);
  }
}

TEST_F(ProtocolTest, RecordListInPiecesOfZeroSizeRecordsIsRefused) {
  // Whatever the count, a record size of 0 gives no piece size: nothing is
  // handed on, and the reply is read to its end.
  fake::Queue(fake::Reply(121, 0, RecordList(0xFFFFFFFF, 1, 3)));
  fake::Queue(fake::Reply(120, 0, {3, 0, 0, 0}));
  int calls = 0;
  auto take = [&](std::uint32_t, const std::uint8_t*, std::uint32_t) { return ++calls > 0; };
  std::uint32_t echo = 0, n = 7;
  std::int32_t status = -1;
  EXPECT_FALSE(ReadReply(Reply::Pieces(0, take, &n), &echo, &status));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(n, 7u);
  std::uint32_t value = 0;
  EXPECT_EQ(PositionsTotal(&value), 0);
  EXPECT_EQ(value, 3u);
}

TEST_F(ProtocolTest, ExchangeResults) {
  struct Case {
    const char* what;
    Bytes reply;
    std::int32_t result;
    std::size_t left_in_pipe = 0;
  };
  const Case cases[] = {
      {"complete reply", fake::Reply(120, 0, {3, 0, 0, 0}), 0},
      {"positive status", fake::Reply(120, 5, {3, 0, 0, 0}), 5},
      {"negative status, short reply", fake::Reply(120, -4), wire::kNotFound},
      {"negative status, wrong echo, short reply", fake::Reply(999, -6), wire::kAuthorizationFailed},
      {"zero status, short reply", fake::Reply(120, 0), wire::kIpcRecvFailed},
      {"echo mismatch", fake::Reply(121, 0, {3, 0, 0, 0}), wire::kIpcCallFailed},
      {"echo mismatch, negative status", fake::Reply(121, -4, {3, 0, 0, 0}), wire::kIpcCallFailed},
      {"four extra bytes", fake::Reply(120, 0, {3, 0, 0, 0, 0, 0, 0, 0}), wire::kIpcRecvFailed},
      // Too short to hold an echo: refused, and its bytes read out of the pipe
      // so that the next reply starts where it should.
      {"reply cut inside the echo", {2, 0, 0, 0, 0x78, 0}, wire::kIpcRecvFailed},
      {"status cut short", {6, 0, 0, 0, 0x78, 0, 0, 0, 0xFF, 0xFF}, wire::kIpcRecvFailed},
  };
  for (const Case& c : cases) {
    fake::Reset();
    ASSERT_TRUE(Client().Connect(u"fake").ok());
    fake::Queue(c.reply);
    std::uint32_t value = 0;
    EXPECT_EQ(PositionsTotal(&value), c.result) << c.what;
    EXPECT_EQ(Pipe().Unconsumed(), c.left_in_pipe) << c.what;
    if (c.result == 0) {
      EXPECT_EQ(value, 3u) << c.what;
    }
  }
}

TEST_F(ProtocolTest, ExchangeAfterABrokenPipe) {
  std::uint32_t value = 0;
  Pipe().write_error = os::kErrorBrokenPipe;
  EXPECT_EQ(PositionsTotal(&value), wire::kIpcSendFailed);
  EXPECT_FALSE(Client().Connected());
  std::size_t writes = Pipe().writes.size();
  EXPECT_EQ(PositionsTotal(&value), wire::kNoIpcConnection);
  EXPECT_EQ(Pipe().writes.size(), writes) << "nothing is sent without a connection";

  ASSERT_TRUE(Client().Connect(u"fake").ok());
  // The terminal goes away after reading the request: the reply never comes.
  EXPECT_EQ(PositionsTotal(&value), wire::kIpcRecvFailed);
  EXPECT_FALSE(Client().Connected());
}

TEST_F(ProtocolTest, OtherWriteErrorsKeepTheConnection) {
  std::uint32_t value = 0;
  Pipe().write_error = 5;
  EXPECT_EQ(PositionsTotal(&value), wire::kIpcSendFailed);
  EXPECT_TRUE(Client().Connected());
}

}  // namespace
}  // namespace vl5::link

namespace vl5::link {
namespace {

// A rejected reply of any size is read to its announced end, so the exchange
// after it sees its own reply and not the rest of the old one.
TEST_F(ProtocolTest, RejectedRepliesLeaveNothingBehind) {
  const Bytes good = fake::Reply(120, 0, {7, 0, 0, 0});
  const Bytes oversized = fake::Reply(120, 0, Bytes(4 + 40000, 0xAB));
  const Bytes overcounted = fake::Reply(121, 0, {0xFF, 0xFF, 0, 0});  // 65535 records announced, none sent
  for (bool list_reply : {false, true}) {
    fake::Reset();
    ASSERT_TRUE(Client().Connect(u"fake").ok());
    fake::Queue(list_reply ? overcounted : oversized);
    fake::Queue(good);
    std::uint32_t value = 0;
    if (!list_reply) {
      EXPECT_EQ(PositionsTotal(&value), wire::kIpcRecvFailed);
    } else {
      bool allocated = false;
      std::uint32_t echo = 0, count = 0;
      std::int32_t status = 0;
      EXPECT_FALSE(ReadReply(Reply::List(
                                 320,
                                 [&](std::uint32_t) -> void* {
                                   allocated = true;
                                   return nullptr;
                                 },
                                 &count),
                             &echo, &status));
      EXPECT_FALSE(allocated);
    }
    EXPECT_EQ(PositionsTotal(&value), 0);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(Pipe().Unconsumed(), 0u);
  }
}

}  // namespace
}  // namespace vl5::link
