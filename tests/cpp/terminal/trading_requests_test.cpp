// The trading commands through the terminal's dispatch: replies of exactly
// the stated sizes with records that agree with each other, the account's
// live figures, the switches, and one ledger per account.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "tests/cpp/terminal/request_helpers.h"
#include "terminal/model/trading/trade_wire.h"
#include "src/wire/commands.h"
#include "src/wire/status.h"
#include "src/wire/trade_codes.h"
#include "src/wire/trade_records.h"

namespace vl5::terminal {
namespace {

using testing::Bytes;
using testing::Call;
using testing::Reply;
using testing::Request;

constexpr std::int64_t kNow = 1700000000;

// A field of the record that starts at `base` in a reply's data.
template <typename T, std::size_t N>
T FieldAt(const Reply& reply, std::size_t base, const wire::Field (&table)[N], const char* name) {
  return reply.At<T>(base + wire::FindField(table, name)->offset);
}

Request TradeRecord(std::uint32_t action, const std::u16string& symbol, std::uint32_t type, double volume,
                    double price = 0.0, std::uint64_t position = 0) {
  std::array<std::uint8_t, wire::kTradeRequestSize> record{};
  auto put = [&](const char* name, auto value) {
    wire::Store(record.data(), wire::FindField(wire::kTradeRequestFields, name)->offset, value);
  };
  put("action", action);
  put("type", type);
  put("volume", volume);
  put("price", price);
  put("position", position);
  const wire::Field* text = wire::FindField(wire::kTradeRequestFields, "symbol");
  std::memcpy(record.data() + text->offset, symbol.data(), 2 * symbol.size());
  return Request().Add(record);
}

class TradingRequestsTest : public ::testing::Test {
 protected:
  explicit TradingRequestsTest(Settings settings = testing::TestSettings())
      : terminal_(std::move(settings), testing::TestFolders()) {}

  Reply Send(std::uint32_t command, const Request& request = Request()) {
    return Call(terminal_, client_, command, request.bytes());
  }
  Reply Buy(const std::u16string& symbol, double volume) {
    return Send(wire::kCmdOrderSend, TradeRecord(wire::TRADE_ACTION_DEAL, symbol, wire::ORDER_TYPE_BUY, volume));
  }
  std::uint64_t OrderOf(const Reply& send) {
    return FieldAt<std::uint64_t>(send, 0, wire::kOrderSendResultFields, "order");
  }
  std::uint32_t Count(std::uint32_t command, const Request& request = Request()) {
    return Send(command, request).At<std::uint32_t>(0);
  }
  void ExpectSize(const Reply& reply, std::size_t data_size, std::int32_t status = wire::kSuccess) {
    EXPECT_TRUE(reply.healthy);
    EXPECT_EQ(reply.status, status);
    EXPECT_EQ(reply.length, 8 + data_size);
    EXPECT_EQ(reply.total, 12 + data_size);
  }
  double AccountField(const char* name) {
    return FieldAt<double>(Send(wire::kCmdAccountInfo), 0, wire::kAccountInfoFields, name);
  }
  bool Login(std::uint64_t login, const std::u16string& password) {
    return Send(wire::kCmdLogin, Request().Add<std::uint32_t>(0).Add(login).Str(password).Str(u"")).status ==
           wire::kSuccess;
  }

  Terminal terminal_;
  server::ClientState client_;
};

TEST_F(TradingRequestsTest, RecordsOfAPositionItsOrdersAndDealsAgree) {
  const Reply sent = Buy(u"EURUSD", 0.1);
  ExpectSize(sent, wire::kOrderSendResultSize);
  ASSERT_EQ(FieldAt<std::uint32_t>(sent, 0, wire::kOrderSendResultFields, "retcode"), wire::TRADE_RETCODE_DONE);
  EXPECT_EQ(FieldAt<std::uint32_t>(sent, 0, wire::kOrderSendResultFields, "request_id"), 1u);
  EXPECT_EQ(FieldAt<std::uint32_t>(Buy(u"GBPUSD", 0.2), 0, wire::kOrderSendResultFields, "request_id"), 2u);
  const std::uint64_t ticket = OrderOf(sent);
  const std::uint64_t deal = FieldAt<std::uint64_t>(sent, 0, wire::kOrderSendResultFields, "deal");

  EXPECT_EQ(Count(wire::kCmdPositionsTotal), 2u);
  const Reply all = Send(wire::kCmdPositionsGet);
  ExpectSize(all, 4 + 2 * wire::kTradePositionSize);
  const Reply mine = Send(wire::kCmdPositionsGetSymbol, Request().Str(u"EURUSD"));
  ExpectSize(mine, 4 + wire::kTradePositionSize);
  EXPECT_EQ(FieldAt<std::uint64_t>(mine, 4, wire::kTradePositionFields, "identifier"), ticket);
  const Reply one = Send(wire::kCmdPositionsGetTicket, Request().Add(ticket));
  ExpectSize(one, wire::kTradePositionSize);  // a positive status: the record is there
  EXPECT_EQ(Bytes(one.data.begin(), one.data.end()), Bytes(mine.data.begin() + 4, mine.data.end()));
  EXPECT_EQ(FieldAt<double>(one, 0, wire::kTradePositionFields, "volume"), 0.1);

  const Reply orders = Send(wire::kCmdHistoryOrdersGetPosition, Request().Add(ticket));
  ExpectSize(orders, 4 + wire::kTradeOrderSize);
  EXPECT_EQ(FieldAt<std::uint64_t>(orders, 4, wire::kTradeOrderFields, "ticket"), ticket);
  EXPECT_EQ(FieldAt<std::uint32_t>(orders, 4, wire::kTradeOrderFields, "state"), wire::ORDER_STATE_FILLED);
  ExpectSize(Send(wire::kCmdHistoryOrdersGetTicket, Request().Add(ticket)), wire::kTradeOrderSize);
  EXPECT_EQ(Count(wire::kCmdHistoryOrdersTotal, Request().Add<std::int64_t>(kNow).Add<std::int64_t>(kNow)), 2u);
  EXPECT_EQ(Count(wire::kCmdHistoryOrdersTotal, Request().Add<std::int64_t>(kNow + 1).Add<std::int64_t>(kNow + 9)), 0u);

  const Reply deals = Send(wire::kCmdHistoryDealsGetPosition, Request().Add(ticket));
  ExpectSize(deals, 4 + wire::kTradeDealSize);
  EXPECT_EQ(FieldAt<std::uint64_t>(deals, 4, wire::kTradeDealFields, "ticket"), deal);
  EXPECT_EQ(FieldAt<std::uint64_t>(deals, 4, wire::kTradeDealFields, "order"), ticket);
  const Reply by_ticket = Send(wire::kCmdHistoryDealsGetTicket, Request().Add(deal));
  ExpectSize(by_ticket, wire::kTradeDealSize);
  const Reply range = Send(wire::kCmdHistoryDealsGet, Request().Add<std::int64_t>(kNow).Add<std::int64_t>(kNow));
  ExpectSize(range, 4 + 3 * wire::kTradeDealSize);  // the deposit and two deals in
  EXPECT_EQ(FieldAt<std::uint32_t>(range, 4, wire::kTradeDealFields, "type"), wire::DEAL_TYPE_BALANCE);
  EXPECT_EQ(Count(wire::kCmdHistoryDealsTotal, Request().Add<std::int64_t>(kNow).Add<std::int64_t>(kNow)), 3u);

  // Unknown tickets are -4 with nothing after the status.
  for (std::uint32_t command : {wire::kCmdPositionsGetTicket, wire::kCmdOrdersGetTicket,
                                wire::kCmdHistoryOrdersGetTicket, wire::kCmdHistoryDealsGetTicket}) {
    ExpectSize(Send(command, Request().Add<std::uint64_t>(ticket + 1000)), 0, wire::kNotFound);
  }
  // The account record is live: margin of both positions, equity with their floating profit.
  const double margin = AccountField("margin");
  EXPECT_GT(margin, 0.0);
  EXPECT_DOUBLE_EQ(AccountField("equity"), AccountField("balance") + AccountField("profit"));
  EXPECT_DOUBLE_EQ(AccountField("margin_free"), AccountField("equity") - margin);
}

TEST_F(TradingRequestsTest, PendingOrdersAreListedUntilRemoved) {
  const double price = 0.5;  // far below any EURUSD ask of the path
  const Reply placed = Send(wire::kCmdOrderSend,
                            TradeRecord(wire::TRADE_ACTION_PENDING, u"EURUSD", wire::ORDER_TYPE_BUY_LIMIT, 0.3, price));
  ASSERT_EQ(FieldAt<std::uint32_t>(placed, 0, wire::kOrderSendResultFields, "retcode"), wire::TRADE_RETCODE_PLACED);
  const std::uint64_t ticket = OrderOf(placed);
  EXPECT_EQ(Count(wire::kCmdOrdersTotal), 1u);
  const Reply listed = Send(wire::kCmdOrdersGetSymbol, Request().Str(u"EURUSD"));
  ExpectSize(listed, 4 + wire::kTradeOrderSize);
  EXPECT_EQ(FieldAt<double>(listed, 4, wire::kTradeOrderFields, "price_open"), price);
  EXPECT_EQ(FieldAt<std::uint32_t>(listed, 4, wire::kTradeOrderFields, "state"), wire::ORDER_STATE_PLACED);
  ExpectSize(Send(wire::kCmdOrdersGetTicket, Request().Add(ticket)), wire::kTradeOrderSize);
  EXPECT_EQ(Count(wire::kCmdOrdersGetSymbol, Request().Str(u"GBPUSD")), 0u);

  Request remove = TradeRecord(wire::TRADE_ACTION_REMOVE, u"", 0, 0.0);
  std::array<std::uint8_t, wire::kTradeRequestSize> record{};
  std::memcpy(record.data(), remove.bytes().data(), record.size());
  wire::Store(record.data(), wire::FindField(wire::kTradeRequestFields, "order")->offset, ticket);
  ASSERT_EQ(FieldAt<std::uint32_t>(Send(wire::kCmdOrderSend, Request().Add(record)), 0, wire::kOrderSendResultFields,
                                   "retcode"),
            wire::TRADE_RETCODE_DONE);
  EXPECT_EQ(Count(wire::kCmdOrdersTotal), 0u);
  const Reply history = Send(wire::kCmdHistoryOrdersGetTicket, Request().Add(ticket));
  EXPECT_EQ(FieldAt<std::uint32_t>(history, 0, wire::kTradeOrderFields, "state"), wire::ORDER_STATE_CANCELED);
}

TEST_F(TradingRequestsTest, CalculationsAnswerOneDoubleOrAStatus) {
  const Reply margin =
      Send(wire::kCmdOrderCalcMargin, Request().Add<std::uint32_t>(0).Str(u"EURUSD").Add(1.0).Add(1.1));
  ExpectSize(margin, 8);
  EXPECT_EQ(margin.At<double>(0), 1100.0);
  const Reply profit =
      Send(wire::kCmdOrderCalcProfit, Request().Add<std::uint32_t>(1).Str(u"XAUUSD").Add(0.1).Add(2000.0).Add(1990.0));
  ExpectSize(profit, 8);
  EXPECT_EQ(profit.At<double>(0), 100.0);
  ExpectSize(Send(wire::kCmdOrderCalcMargin, Request().Add<std::uint32_t>(0).Str(u"NOWHERE").Add(1.0).Add(1.1)), 0,
             wire::kNotFound);
  const Request unknown_type = Request().Add<std::uint32_t>(99).Str(u"EURUSD").Add(1.0).Add(1.1).Add(1.2);
  ExpectSize(Send(wire::kCmdOrderCalcProfit, unknown_type), 0, wire::kInvalidParams);
  const Request no_number =
      Request().Add<std::uint32_t>(0).Str(u"EURUSD").Add(std::numeric_limits<double>::quiet_NaN()).Add(1.1);
  ExpectSize(Send(wire::kCmdOrderCalcMargin, no_number), 0, wire::kInvalidParams);
}

TEST_F(TradingRequestsTest, EachAccountKeepsItsOwnPositionsAndHistory) {
  const std::uint64_t first = OrderOf(Buy(u"EURUSD", 0.1));
  ASSERT_TRUE(Login(10002, u"demo2"));
  EXPECT_EQ(Count(wire::kCmdPositionsTotal), 0u);
  EXPECT_EQ(AccountField("balance"), 50000.0);
  EXPECT_EQ(AccountField("margin"), 0.0);
  const Reply deposit = Send(wire::kCmdHistoryDealsGet, Request().Add<std::int64_t>(0).Add<std::int64_t>(kNow));
  ASSERT_EQ(deposit.At<std::uint32_t>(0), 1u);
  EXPECT_EQ(FieldAt<double>(deposit, 4, wire::kTradeDealFields, "profit"), 50000.0);
  Buy(u"USDJPY", 1.0);
  Buy(u"USDJPY", 1.0);

  ASSERT_TRUE(Login(10001, u"demo"));
  const Reply back = Send(wire::kCmdPositionsGet);
  ASSERT_EQ(back.At<std::uint32_t>(0), 1u);
  EXPECT_EQ(FieldAt<std::uint64_t>(back, 4, wire::kTradePositionFields, "ticket"), first);
  ASSERT_TRUE(Login(10002, u"demo2"));
  EXPECT_EQ(Count(wire::kCmdPositionsTotal), 2u);
}

TEST_F(TradingRequestsTest, WithoutAnAuthorizedAccountTradingAnswersMinusSix) {
  ASSERT_FALSE(Login(10001, u"wrong"));
  const std::pair<std::uint32_t, Request> requests[] = {
      {wire::kCmdPositionsTotal, Request()},
      {wire::kCmdOrdersGet, Request()},
      {wire::kCmdHistoryDealsGet, Request().Add<std::int64_t>(0).Add<std::int64_t>(kNow)},
      {wire::kCmdHistoryOrdersGetTicket, Request().Add<std::uint64_t>(1)},
      {wire::kCmdOrderCheck, TradeRecord(wire::TRADE_ACTION_DEAL, u"EURUSD", 0, 0.1)},
      {wire::kCmdOrderSend, TradeRecord(wire::TRADE_ACTION_DEAL, u"EURUSD", 0, 0.1)},
      {wire::kCmdOrderCalcMargin, Request().Add<std::uint32_t>(0).Str(u"EURUSD").Add(1.0).Add(1.1)},
  };
  for (const auto& [command, request] : requests) ExpectSize(Send(command, request), 0, wire::kAuthorizationFailed);
}

class TradeSwitchesTest : public TradingRequestsTest {
 protected:
  static Settings Switched(bool api_disabled, bool allowed) {
    Settings settings = testing::TestSettings();
    settings.tradeapi_disabled = api_disabled;
    settings.trade_allowed = allowed;
    return settings;
  }
};

TEST_F(TradeSwitchesTest, TheApiSwitchRefusesOrderSendButNotOrderCheck) {
  Terminal terminal(Switched(true, true), testing::TestFolders());
  const Request buy = TradeRecord(wire::TRADE_ACTION_DEAL, u"EURUSD", wire::ORDER_TYPE_BUY, 0.1);
  const Reply sent = Call(terminal, client_, wire::kCmdOrderSend, buy.bytes());
  ExpectSize(sent, 0, wire::kAutoTradingDisabled);
  const Reply checked = Call(terminal, client_, wire::kCmdOrderCheck, buy.bytes());
  ExpectSize(checked, wire::kOrderCheckResultSize);
  EXPECT_EQ(FieldAt<std::uint32_t>(checked, 0, wire::kOrderCheckResultFields, "retcode"), 0u);
  EXPECT_EQ(Call(terminal, client_, wire::kCmdPositionsTotal, {}).At<std::uint32_t>(0), 0u);

  // Trading switched off altogether: order_send answers, with the refusal in its retcode.
  Terminal off(Switched(false, false), testing::TestFolders());
  const Reply refused = Call(off, client_, wire::kCmdOrderSend, buy.bytes());
  ExpectSize(refused, wire::kOrderSendResultSize);
  EXPECT_EQ(FieldAt<std::uint32_t>(refused, 0, wire::kOrderSendResultFields, "retcode"),
            wire::TRADE_RETCODE_CLIENT_DISABLES_AT);
  EXPECT_EQ(Call(off, client_, wire::kCmdPositionsTotal, {}).At<std::uint32_t>(0), 0u);
}

TEST(TradeRecordsTest, EveryTradingRecordHasItsWireSize) {
  market::Market market(market::DefaultSymbols(), 1);
  trading::Position position;
  EXPECT_EQ(trading::PositionRecord(market, position, kNow * 1000).size(), wire::kTradePositionSize);
  trading::Order order;
  EXPECT_EQ(trading::PendingOrderRecord(market, order, kNow * 1000).size(), wire::kTradeOrderSize);
  EXPECT_EQ(trading::HistoryOrderRecord(market, order).size(), wire::kTradeOrderSize);
  EXPECT_EQ(trading::DealRecord(trading::Deal{}).size(), wire::kTradeDealSize);
  EXPECT_EQ(trading::CheckResultRecord(trading::CheckResult{}).size(), wire::kOrderCheckResultSize);
  EXPECT_EQ(trading::SendResultRecord(trading::SendResult{}).size(), wire::kOrderSendResultSize);
}

}  // namespace
}  // namespace vl5::terminal
