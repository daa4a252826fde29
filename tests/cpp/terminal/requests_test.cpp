// Request handling: one reply of exactly the stated size for every request,
// -1 for unknown commands, -2 for malformed payloads, the reply of a failed
// request, and the market answers.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <utility>
#include <map>

#include "terminal/base/calendar.h"
#include "tests/cpp/terminal/request_helpers.h"
#include "src/wire/commands.h"
#include "src/wire/market_codes.h"
#include "src/wire/status.h"
#include "src/wire/trade_records.h"

namespace vl5::terminal {
namespace {

using testing::Bytes;
using testing::Call;
using testing::Reply;
using testing::Request;

class RequestsTest : public ::testing::Test {
 protected:
  explicit RequestsTest(Settings settings = testing::TestSettings())
      : terminal_(std::move(settings), testing::TestFolders()) {}

  Reply Send(std::uint32_t command, const Request& request = Request()) {
    return Call(terminal_, client_, command, request.bytes());
  }
  // A reply that carries only its status.
  void ExpectStatusOnly(const Reply& reply, std::int32_t status, std::uint32_t command) {
    EXPECT_TRUE(reply.healthy) << command;
    EXPECT_EQ(reply.length, 8u) << command;
    EXPECT_EQ(reply.total, 12u) << command;
    EXPECT_EQ(reply.echo, command);
    EXPECT_EQ(reply.status, status) << command;
  }
  // A reply whose frame length matches the bytes sent and `data_size`.
  void ExpectData(const Reply& reply, std::size_t data_size, std::uint32_t command) {
    EXPECT_TRUE(reply.healthy) << command;
    EXPECT_GE(reply.status, 0) << command;
    EXPECT_EQ(reply.echo, command);
    EXPECT_EQ(reply.length, 8 + data_size) << command;
    EXPECT_EQ(reply.total, 12 + data_size) << command;
  }

  Terminal terminal_;
  server::ClientState client_;
};

// A well-formed payload for every served command.
std::map<std::uint32_t, Request> ValidRequests() {
  const std::u16string s = u"EURUSD";
  const std::int64_t t = 1699990000;
  return {
      {wire::kCmdVersion, Request().Add<std::uint32_t>(0)},
      {wire::kCmdHello, Request().Add<std::uint32_t>(3).Str(u"Python")},
      {wire::kCmdLogin, Request().Add<std::uint32_t>(0).Add<std::uint64_t>(10001).Str(u"demo").Str(u"")},
      {wire::kCmdTerminalState, Request()},
      {wire::kCmdCopyTicksFrom,
       Request().Str(s).Add<std::int64_t>(t * 1000).Add<std::int32_t>(10).Add<std::int32_t>(-1)},
      {wire::kCmdCopyTicksRange,
       Request().Str(s).Add<std::int64_t>(t * 1000).Add<std::int64_t>(t * 1000 + 60000).Add<std::int32_t>(1)},
      {wire::kCmdCopyRatesFrom, Request().Str(s).Add<std::int32_t>(60).Add<std::int64_t>(t).Add<std::int32_t>(10)},
      {wire::kCmdCopyRatesRange,
       Request().Str(s).Add<std::int32_t>(5).Add<std::int64_t>(t - 3600).Add<std::int64_t>(t)},
      {wire::kCmdCopyRatesFromPos, Request().Str(s).Add<std::int32_t>(1).Add<std::int32_t>(0).Add<std::int32_t>(7)},
      {wire::kCmdSymbolInfo, Request().Str(s)},
      {wire::kCmdSymbolSelect, Request().Str(s).Add<std::uint8_t>(1)},
      {wire::kCmdSymbolInfoTick, Request().Str(s)},
      {wire::kCmdSymbolsTotal, Request()},
      {wire::kCmdSymbolsGet, Request()},
      {wire::kCmdSymbolsGetGroup, Request().Str(u"*JPY")},
      {wire::kCmdMarketBookAdd, Request().Str(s)},
      {wire::kCmdMarketBookRelease, Request().Str(s)},
      {wire::kCmdMarketBookGet, Request().Str(s)},
      {wire::kCmdTerminalInfo, Request()},
      {wire::kCmdAccountInfo, Request()},
      {wire::kCmdPositionsTotal, Request()},
      {wire::kCmdPositionsGet, Request()},
      {wire::kCmdPositionsGetSymbol, Request().Str(s)},
      {wire::kCmdPositionsGetTicket, Request().Add<std::uint64_t>(1)},
      {wire::kCmdOrdersTotal, Request()},
      {wire::kCmdOrdersGet, Request()},
      {wire::kCmdOrdersGetSymbol, Request().Str(s)},
      {wire::kCmdOrdersGetTicket, Request().Add<std::uint64_t>(1)},
      {wire::kCmdHistoryOrdersTotal, Request().Add<std::int64_t>(0).Add<std::int64_t>(t)},
      {wire::kCmdHistoryOrdersGet, Request().Add<std::int64_t>(0).Add<std::int64_t>(t)},
      {wire::kCmdHistoryOrdersGetPosition, Request().Add<std::uint64_t>(1)},
      {wire::kCmdHistoryOrdersGetTicket, Request().Add<std::uint64_t>(1)},
      {wire::kCmdHistoryDealsTotal, Request().Add<std::int64_t>(0).Add<std::int64_t>(t + 86400)},
      {wire::kCmdHistoryDealsGet, Request().Add<std::int64_t>(0).Add<std::int64_t>(t + 86400)},
      {wire::kCmdHistoryDealsGetPosition, Request().Add<std::uint64_t>(1)},
      {wire::kCmdHistoryDealsGetTicket, Request().Add<std::uint64_t>(1)},
      {wire::kCmdOrderCheck, Request().Add(std::array<std::uint8_t, wire::kTradeRequestSize>{})},
      {wire::kCmdOrderSend, Request().Add(std::array<std::uint8_t, wire::kTradeRequestSize>{})},
      {wire::kCmdOrderCalcMargin, Request().Add<std::uint32_t>(0).Str(s).Add(1.0).Add(1.1)},
      {wire::kCmdOrderCalcProfit, Request().Add<std::uint32_t>(0).Str(s).Add(1.0).Add(1.1).Add(1.2)},
  };
}

TEST_F(RequestsTest, UnknownCommandsAnswerMinusOne) {
  for (std::uint32_t command : {0u, 2u, 3u, 110u, 999u, 0xFFFFFFFFu}) {
    ExpectStatusOnly(Send(command, Request().Add<std::uint32_t>(1)), wire::kTerminalCallFailed, command);
  }
}

// A handler that threw: a failure reply when nothing was written yet; a
// reply it had begun cannot be finished, so the stream is given up; a
// finished reply stands.
TEST(ReplyWriterTest, AFailedRequestAnswersItsStatusOnlyBeforeItsReplyBegan) {
  struct Case {
    int written;  // 0: nothing, 1: a reply begun, 2: a reply finished
    bool healthy;
    std::size_t total;
    std::int32_t status;
  };
  for (const Case& c : {Case{0, true, 12, wire::kOutOfMemory}, Case{1, false, 0, 0}, Case{2, true, 16, 1}}) {
    testing::MemorySink sink;
    std::vector<std::uint8_t> buffer;
    server::ReplyWriter writer(sink, wire::kCmdSymbolsTotal, buffer);
    if (c.written > 0 && writer.Begin(1, 4)) writer.Put("ab", 2);
    if (c.written > 1) {
      writer.Put("cd", 2);
      writer.End();
    }
    writer.Fail(wire::kOutOfMemory);
    EXPECT_EQ(writer.healthy(), c.healthy) << c.written;
    writer.End();  // nothing more reaches the client
    const Reply reply = testing::ParseReply(sink.bytes);
    EXPECT_EQ(reply.total, c.total) << c.written;
    EXPECT_EQ(reply.status, c.status) << c.written;
  }
}

TEST_F(RequestsTest, PayloadsOfTheWrongLengthAnswerMinusTwo) {
  for (const auto& [command, request] : ValidRequests()) {
    Bytes longer = request.bytes();
    longer.push_back(0);
    ExpectStatusOnly(Call(terminal_, client_, command, longer), wire::kInvalidParams, command);
    if (!request.bytes().empty()) {
      Bytes shorter(request.bytes().begin(), request.bytes().end() - 1);
      ExpectStatusOnly(Call(terminal_, client_, command, shorter), wire::kInvalidParams, command);
    }
  }
  // A counted string longer than the payload that should hold it.
  ExpectStatusOnly(Send(wire::kCmdSymbolInfo, Request().Add<std::uint32_t>(1000).Add<std::uint16_t>('E')),
                   wire::kInvalidParams, wire::kCmdSymbolInfo);
  ExpectStatusOnly(Send(wire::kCmdSymbolInfo, Request().Add<std::uint32_t>(0xFFFFFFFF)), wire::kInvalidParams,
                   wire::kCmdSymbolInfo);
}

TEST_F(RequestsTest, EveryValidRequestGetsOneReplyOfItsStatedSize) {
  Send(wire::kCmdMarketBookAdd, Request().Str(u"EURUSD"));  // so that 193 has a book to show
  const std::size_t symbols = terminal_.market().size();
  for (const auto& [command, request] : ValidRequests()) {
    if (command == wire::kCmdMarketBookRelease) continue;  // after the book's get, below
    const Reply reply = Send(command, request);
    switch (command) {
      case wire::kCmdHello:
      case wire::kCmdTerminalState:
      case wire::kCmdSymbolsTotal:
      case wire::kCmdPositionsTotal:
      case wire::kCmdOrdersTotal:
      case wire::kCmdHistoryOrdersTotal:
      case wire::kCmdHistoryDealsTotal:
        ExpectData(reply, 4, command);
        break;
      case wire::kCmdPositionsGetTicket:  // nothing has that ticket
      case wire::kCmdOrdersGetTicket:
      case wire::kCmdHistoryOrdersGetTicket:
      case wire::kCmdHistoryDealsGetTicket:
        ExpectStatusOnly(reply, wire::kNotFound, command);
        break;
      case wire::kCmdOrderCheck:
        ExpectData(reply, wire::kOrderCheckResultSize, command);
        break;
      case wire::kCmdOrderSend:
        ExpectData(reply, wire::kOrderSendResultSize, command);
        break;
      case wire::kCmdOrderCalcMargin:
      case wire::kCmdOrderCalcProfit:
        ExpectData(reply, 8, command);
        break;
      case wire::kCmdPositionsGet:  // empty lists: a count of 0 and nothing after it
      case wire::kCmdPositionsGetSymbol:
      case wire::kCmdOrdersGet:
      case wire::kCmdOrdersGetSymbol:
      case wire::kCmdHistoryOrdersGet:
      case wire::kCmdHistoryOrdersGetPosition:
      case wire::kCmdHistoryDealsGetPosition:
        ExpectData(reply, 4, command);
        EXPECT_EQ(reply.At<std::uint32_t>(0), 0u) << command;
        break;
      case wire::kCmdHistoryDealsGet:  // the deposit
        ExpectData(reply, 4 + wire::kTradeDealSize, command);
        EXPECT_EQ(reply.At<std::uint32_t>(0), 1u);
        break;
      case wire::kCmdLogin:
      case wire::kCmdSymbolSelect:
      case wire::kCmdMarketBookAdd:
      case wire::kCmdMarketBookRelease:
        ExpectData(reply, 0, command);
        break;
      case wire::kCmdVersion:
        ExpectData(reply, 12 + 2 * reply.At<std::uint32_t>(8), command);
        break;
      case wire::kCmdSymbolInfo:
        ExpectData(reply, wire::kSymbolInfoSize, command);
        break;
      case wire::kCmdSymbolInfoTick:
        ExpectData(reply, wire::kTickRecordSize, command);
        break;
      case wire::kCmdTerminalInfo:
        ExpectData(reply, wire::kTerminalInfoSize, command);
        break;
      case wire::kCmdAccountInfo:
        ExpectData(reply, wire::kAccountInfoSize, command);
        break;
      case wire::kCmdSymbolsGet:
        ExpectData(reply, 4 + symbols * wire::kSymbolInfoSize, command);
        EXPECT_EQ(reply.At<std::uint32_t>(0), symbols);
        break;
      default: {  // record lists: count, then records
        const std::uint32_t count = reply.At<std::uint32_t>(0);
        const std::size_t size = command == wire::kCmdMarketBookGet     ? wire::kBookInfoSize
                                 : command == wire::kCmdSymbolsGetGroup ? wire::kSymbolInfoSize
                                                                        : wire::kRateRecordSize;
        ExpectData(reply, 4 + count * size, command);
        EXPECT_GT(count, 0u) << command;
      }
    }
  }
  ExpectData(Send(wire::kCmdMarketBookRelease, Request().Str(u"EURUSD")), 0, wire::kCmdMarketBookRelease);
}

TEST_F(RequestsTest, SessionCommandsReportBuildVersionAndLoginOutcome) {
  Reply hello = Send(wire::kCmdHello, ValidRequests()[wire::kCmdHello]);
  EXPECT_EQ(hello.At<std::uint32_t>(0), 5100u);
  const Reply version = Send(wire::kCmdVersion, Request().Add<std::uint32_t>(0));
  EXPECT_EQ(version.status, wire::kSuccess);
  EXPECT_EQ(version.At<std::int32_t>(0), 500);
  EXPECT_EQ(version.At<std::int32_t>(4), 5100);
  std::u16string text;
  for (std::uint32_t i = 0; i < version.At<std::uint32_t>(8); ++i) text += version.At<char16_t>(12 + 2 * i);
  EXPECT_EQ(text, u"5.00 build 5100");

  auto login = [&](std::uint64_t account, const std::u16string& password) {
    return Send(wire::kCmdLogin, Request().Add<std::uint32_t>(0).Add(account).Str(password).Str(u"")).status;
  };
  auto state = [&] { return Send(wire::kCmdTerminalState).At<std::uint32_t>(0); };
  EXPECT_EQ(login(10001, u"x"), 0);
  EXPECT_EQ(state(), wire::kStateAuthorizationFailed);
  ExpectStatusOnly(Send(wire::kCmdAccountInfo), wire::kAuthorizationFailed, wire::kCmdAccountInfo);
  EXPECT_EQ(login(10003, u"demo3"), wire::kUnsupportedFunction);
  EXPECT_EQ(login(10002, u"demo2"), wire::kSuccess);
  EXPECT_EQ(state(), wire::kStateReady);
  EXPECT_EQ(Send(wire::kCmdAccountInfo).At<std::uint64_t>(0), 10002u);
}

TEST_F(RequestsTest, UnknownSymbolsAnswerMinusFourAndBadQueryFieldsMinusTwo) {
  const std::u16string nowhere = u"NOWHERE";
  for (std::uint32_t command : {wire::kCmdSymbolInfo, wire::kCmdSymbolInfoTick, wire::kCmdMarketBookAdd,
                                wire::kCmdMarketBookRelease, wire::kCmdMarketBookGet}) {
    ExpectStatusOnly(Send(command, Request().Str(nowhere)), wire::kNotFound, command);
  }
  ExpectStatusOnly(Send(wire::kCmdSymbolSelect, Request().Str(nowhere).Add<std::uint8_t>(1)), wire::kNotFound,
                   wire::kCmdSymbolSelect);
  ExpectStatusOnly(Send(wire::kCmdCopyRatesFromPos, Request().Str(nowhere).Add(1).Add(0).Add(5)), wire::kNotFound,
                   wire::kCmdCopyRatesFromPos);
  ExpectStatusOnly(Send(wire::kCmdCopyTicksFrom, Request().Str(nowhere).Add<std::int64_t>(0).Add(5).Add(-1)),
                   wire::kNotFound, wire::kCmdCopyTicksFrom);

  const std::u16string s = u"EURUSD";
  const std::pair<std::uint32_t, Request> bad[] = {
      {wire::kCmdCopyRatesFromPos, Request().Str(s).Add(7).Add(0).Add(5)},   // no such timeframe
      {wire::kCmdCopyRatesFromPos, Request().Str(s).Add(1).Add(-1).Add(5)},  // negative position
      {wire::kCmdCopyRatesFromPos, Request().Str(s).Add(1).Add(0).Add(-5)},  // negative count
      {wire::kCmdCopyRatesFrom, Request().Str(s).Add(0).Add<std::int64_t>(0).Add(5)},
      {wire::kCmdCopyRatesRange, Request().Str(s).Add(99).Add<std::int64_t>(0).Add<std::int64_t>(9)},
      {wire::kCmdCopyTicksFrom, Request().Str(s).Add<std::int64_t>(0).Add(-1).Add(-1)},
      {wire::kCmdCopyTicksRange, Request().Str(s).Add<std::int64_t>(0).Add<std::int64_t>(9).Add(0)},  // copy mode 0
  };
  for (const auto& [command, request] : bad) ExpectStatusOnly(Send(command, request), wire::kInvalidParams, command);
}

TEST_F(RequestsTest, StreamedBarsAndTicksMatchTheirDeclaredCount) {
  const Reply bars = Send(wire::kCmdCopyRatesFromPos, Request().Str(u"USDJPY").Add(15).Add(3).Add(100));
  ASSERT_EQ(bars.At<std::uint32_t>(0), 100u);
  ExpectData(bars, 4 + 100 * 60, wire::kCmdCopyRatesFromPos);
  for (std::size_t i = 1; i < 100; ++i) {
    EXPECT_EQ(bars.At<std::int64_t>(4 + 60 * i) - bars.At<std::int64_t>(4 + 60 * (i - 1)), 15 * 60);
  }
  const std::int64_t from = 1699990000LL * 1000;  // the stock's session closes at 21:00
  const Reply ticks =
      Send(wire::kCmdCopyTicksFrom, Request().Str(u"KSTL").Add(from).Add(50).Add(wire::COPY_TICKS_TRADE));
  ASSERT_EQ(ticks.At<std::uint32_t>(0), 50u);
  ExpectData(ticks, 4 + 50 * 60, wire::kCmdCopyTicksFrom);
  EXPECT_GE(ticks.At<std::int64_t>(4 + 40), from);  // time_msc of the first tick
  // Ticks after the clock do not exist: a range into the future stops at it.
  const Reply future =
      Send(wire::kCmdCopyTicksRange,
           Request().Str(u"EURUSD").Add(terminal_.NowMs() - 120000).Add(terminal_.NowMs() + 3600000).Add(-1));
  const std::uint32_t count = future.At<std::uint32_t>(0);
  ASSERT_GT(count, 0u);
  EXPECT_LE(future.At<std::int64_t>(4 + 60 * (count - 1) + 40), terminal_.NowMs());
}

// Dates at the ends of the 64-bit range, for every timeframe: an answer,
// with the bars that exist, and no overflow (the sanitizer build checks).
TEST_F(RequestsTest, EdgeDatesOfEveryTimeframeGetAnAnswer) {
  constexpr std::int64_t kMin = INT64_MIN, kMax = INT64_MAX;
  auto count_of = [&](std::uint32_t command, const Request& request) -> std::int64_t {
    const Reply reply = Send(command, request);
    EXPECT_EQ(reply.status, wire::kSuccess) << command;
    if (reply.data.size() < 4) return -1;
    const std::uint32_t count = reply.At<std::uint32_t>(0);
    EXPECT_EQ(reply.data.size(), 4 + 60 * std::size_t{count}) << command;
    return count;
  };
  int timeframes = 0;
  for (std::int32_t tf = 1; tf <= wire::TIMEFRAME_MN1; ++tf) {
    if (!market::ValidTimeframe(tf)) continue;
    ++timeframes;
    const std::u16string s = u"EURUSD";
    // After the newest bar: whatever the rule for the future is, an answer.
    EXPECT_LE(count_of(wire::kCmdCopyRatesFrom, Request().Str(s).Add(tf).Add(kMax).Add(3)), 3) << tf;
    EXPECT_EQ(count_of(wire::kCmdCopyRatesFrom, Request().Str(s).Add(tf).Add(kMin).Add(3)), 0) << tf;
    EXPECT_EQ(count_of(wire::kCmdCopyRatesFrom, Request().Str(s).Add(tf).Add(kMin).Add(INT32_MAX)), 0) << tf;
    for (auto [from, to] : {std::pair{kMin, kMin + 1}, {kMin, kMin}, {kMax - 1, kMax}, {kMax, kMin}}) {
      EXPECT_EQ(count_of(wire::kCmdCopyRatesRange, Request().Str(s).Add(tf).Add(from).Add(to)), 0) << tf;
    }
    const std::int64_t recent = 1700000000 - (tf >= wire::TIMEFRAME_D1 ? 40 : 1) * 86400;  // a bar opened since
    EXPECT_GT(count_of(wire::kCmdCopyRatesRange, Request().Str(s).Add(tf).Add(recent).Add(kMax)), 0) << tf;
  }
  EXPECT_EQ(timeframes, 21);
  const std::u16string s = u"EURUSD";
  EXPECT_EQ(count_of(wire::kCmdCopyTicksFrom, Request().Str(s).Add(kMin).Add(3).Add(-1)), 3);
  EXPECT_EQ(count_of(wire::kCmdCopyTicksFrom, Request().Str(s).Add(kMax).Add(3).Add(-1)), 0);
  EXPECT_EQ(count_of(wire::kCmdCopyTicksRange, Request().Str(s).Add(kMin).Add(kMin + 1).Add(-1)), 0);
  EXPECT_EQ(count_of(wire::kCmdCopyTicksRange, Request().Str(s).Add(kMax - 1).Add(kMax).Add(-1)), 0);
}

TEST_F(RequestsTest, DepthOfMarketNeedsASubscriptionOfThisClient) {
  const Request eurusd = Request().Str(u"EURUSD");
  ExpectStatusOnly(Send(wire::kCmdMarketBookGet, eurusd), wire::kNotFound, wire::kCmdMarketBookGet);
  ExpectStatusOnly(Send(wire::kCmdMarketBookAdd, eurusd), wire::kSuccess, wire::kCmdMarketBookAdd);
  const Reply book = Send(wire::kCmdMarketBookGet, eurusd);
  ASSERT_EQ(book.At<std::uint32_t>(0), 20u);
  const Reply tick = Send(wire::kCmdSymbolInfoTick, eurusd);
  const double bid = tick.At<double>(8), ask = tick.At<double>(16);
  double previous = 1e300;
  for (std::uint32_t i = 0; i < 20; ++i) {
    const std::size_t at = 4 + 28 * i;
    const std::uint32_t type = book.At<std::uint32_t>(at);
    const double price = book.At<double>(at + 4);
    EXPECT_EQ(type, i < 10 ? wire::BOOK_TYPE_SELL : wire::BOOK_TYPE_BUY);
    EXPECT_TRUE(type == wire::BOOK_TYPE_SELL ? price >= ask : price <= bid);
    EXPECT_LT(price, previous);  // highest price first
    EXPECT_GT(book.At<double>(at + 20), 0.0);
    previous = price;
  }
  server::ClientState other;  // another client has no book open
  EXPECT_EQ(Call(terminal_, other, wire::kCmdMarketBookGet, eurusd.bytes()).status, wire::kNotFound);
  Send(wire::kCmdMarketBookRelease, eurusd);
  EXPECT_EQ(Send(wire::kCmdMarketBookGet, eurusd).status, wire::kNotFound);
}

TEST_F(RequestsTest, SelectionShowsInTheSymbolRecordAndGroupsFilterTheList) {
  const wire::Field* select = wire::FindField(wire::kSymbolInfoFields, "select");
  const wire::Field* name = wire::FindField(wire::kSymbolInfoFields, "name");
  auto selected = [&] { return Send(wire::kCmdSymbolInfo, Request().Str(u"EURJPY")).data[select->offset]; };
  EXPECT_EQ(selected(), 0);
  Send(wire::kCmdSymbolSelect, Request().Str(u"EURJPY").Add<std::uint8_t>(1));
  EXPECT_EQ(selected(), 1);
  Send(wire::kCmdSymbolSelect, Request().Str(u"EURJPY").Add<std::uint8_t>(0));
  EXPECT_EQ(selected(), 0);

  const Reply group = Send(wire::kCmdSymbolsGetGroup, Request().Str(u"*JPY*,!EUR*"));
  ASSERT_EQ(group.At<std::uint32_t>(0), 1u);
  const Bytes record(group.data.begin() + 4, group.data.end());
  EXPECT_EQ(testing::Text(record, name), u"USDJPY");
  EXPECT_EQ(Send(wire::kCmdSymbolsGetGroup, Request().Str(u"NOTHING*")).At<std::uint32_t>(0), 0u);
}

class OldBuildTest : public RequestsTest {
 protected:
  static Settings OldBuild() {
    Settings settings = testing::TestSettings();
    settings.build = 2000;
    return settings;
  }
  OldBuildTest() : RequestsTest(OldBuild()) {}
};

TEST_F(OldBuildTest, OlderBuildsAnswerTheShortSymbolRecord) {
  EXPECT_EQ(Send(wire::kCmdHello, ValidRequests()[wire::kCmdHello]).At<std::uint32_t>(0), 2000u);
  ExpectData(Send(wire::kCmdSymbolInfo, Request().Str(u"EURUSD")), wire::kSymbolInfoSizeOld, wire::kCmdSymbolInfo);
  // The module refuses the list for old builds; the terminal still answers it.
  ExpectData(Send(wire::kCmdSymbolsTotal), 4, wire::kCmdSymbolsTotal);
}

}  // namespace
}  // namespace vl5::terminal
