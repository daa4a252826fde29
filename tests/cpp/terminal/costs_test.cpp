// Trading costs: commission on every deal, swaps at the rollover, and how
// both add up in positions, deals and the balance.
#include <gtest/gtest.h>

#include "terminal/base/calendar.h"
#include "terminal/model/trading/costs.h"
#include "terminal/model/trading/money.h"
#include "tests/cpp/terminal/trading_fixture.h"

namespace vl5::terminal::trading {
namespace {

using market::testing::kNowMs;
using testing::CloseOrder;
using testing::MarketOrder;

constexpr std::int64_t kHourMs = 3600 * 1000;
// kNowMs is a Tuesday evening (2023-11-14 22:13 UTC), just after EURUSD's
// rollover at 17:00 New York time (22:00 UTC in winter); EURUSD charges the
// triple swap for Wednesday. Thursday 23:13 UTC is after Thursday's rollover.
constexpr std::int64_t kThursdayMs = kNowMs + 2 * 86400 * 1000 + 1 * kHourMs;

AccountConfig WithCommission() {
  AccountConfig config = DefaultAccounts()[0];
  config.commission_per_lot = 7.0;
  return config;
}

std::vector<market::SymbolSpec> GoldByShare() {
  std::vector<market::SymbolSpec> symbols = market::DefaultSymbols();
  for (market::SymbolSpec& spec : symbols) {
    if (spec.name == u"XAUUSD") spec.commission_percent = 0.01;
  }
  return symbols;
}

class CostsTest : public ::testing::Test {
 protected:
  Engine At(std::int64_t ms) {
    Engine engine(market_, account_, ledger_, ms);
    engine.CatchUp();
    return engine;
  }
  const Deal& DealOf(std::uint64_t ticket) const {
    for (const Deal& deal : ledger_.deals()) {
      if (deal.ticket == ticket) return deal;
    }
    throw std::runtime_error("no such deal");
  }

  market::Market market_{GoldByShare(), 1};
  Account account_{WithCommission()};
  Ledger ledger_{account_.balance(), kNowMs};
};

TEST_F(CostsTest, CommissionAndSwapsShowOnDealsAndPositionsAndAddUpInTheBalance) {
  const SendResult opened = At(kNowMs).Send(MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 0.5));
  ASSERT_EQ(opened.retcode, wire::TRADE_RETCODE_DONE);
  EXPECT_EQ(DealOf(opened.deal).commission, -3.5);  // 7 a lot
  EXPECT_EQ(account_.balance(), 10000.0 - 3.5);

  // Rollovers on Wednesday 22:00 UTC (Wednesday, three times) and Thursday 22:00 (Thursday, once):
  // -6.5 points a lot and day on a long of 0.5 lot is -3.25 a day.
  Engine thursday = At(kThursdayMs);
  ASSERT_EQ(ledger_.positions().size(), 1u);
  const Position& position = ledger_.positions()[0];
  EXPECT_EQ(position.swap, -13.0);
  const double floating = FloatingProfit(market_, position, kThursdayMs);
  EXPECT_EQ(account_.equity(), RoundMoney(10000.0 - 3.5 + floating - 13.0));

  const SendResult closed = thursday.Send(CloseOrder(opened.order, wire::ORDER_TYPE_SELL, 0.5));
  ASSERT_EQ(closed.retcode, wire::TRADE_RETCODE_DONE);
  const Deal& out = DealOf(closed.deal);
  EXPECT_EQ(out.commission, -3.5);
  EXPECT_EQ(out.swap, -13.0);
  EXPECT_EQ(account_.balance(), RoundMoney(10000.0 - 3.5 + out.profit - 13.0 - 3.5));
  EXPECT_EQ(account_.equity(), account_.balance());
}

TEST_F(CostsTest, ASymbolsOwnRateReplacesTheAccountsAndWeekendsCostNothing) {
  const SendResult gold = At(kNowMs).Send(MarketOrder(u"XAUUSD", wire::ORDER_TYPE_SELL, 0.2));
  ASSERT_EQ(gold.retcode, wire::TRADE_RETCODE_DONE);
  // 0.01 % of 0.2 x 100 oz at the price, not 7 a lot.
  EXPECT_EQ(DealOf(gold.deal).commission, -RoundMoney(0.0001 * 0.2 * 100.0 * gold.price));
  // By Saturday 01:00 UTC the rollovers at 17:00 New York time charged
  // Wednesday three times, Thursday and Friday; Saturday's and Sunday's
  // charge nothing.
  const std::int64_t saturday = kNowMs + 4 * 86400 * 1000 - 21 * kHourMs;
  At(saturday);
  const double before = ledger_.positions()[0].swap;
  At(saturday + 2 * 86400 * 1000);
  EXPECT_EQ(ledger_.positions()[0].swap, before);
  EXPECT_EQ(before, RoundMoney(8.0 * 0.01 * 100.0 * 0.2 * 5));  // +8 points a lot and day
}

// Each rollover charges the day it ends: three days for the symbol's
// swap_rollover3days weekday, none for Saturday and Sunday.
TEST(RolloverSwapTest, TheTripleSwapIsChargedForTheSymbolsWeekdayExactly) {
  const market::Market market(market::DefaultSymbols(), 1);
  struct Row {
    const char16_t* symbol;
    double volume;
    double one_day;  // swap_long of the volume
    int days[7];     // for the days ended, Tuesday to Monday
  };
  const Row rows[] = {
      {u"EURUSD", 1.0, -6.5, {1, 3, 1, 1, 0, 0, 1}},   // triple on Wednesday
      {u"BTCUSD", 10.0, -2.0, {1, 1, 1, 3, 0, 0, 1}},  // triple on Friday
  };
  // Tuesday noon UTC: the next rollover, of either symbol, ends Tuesday.
  const std::int64_t tuesday_noon = market::FloorDiv(kNowMs, kDayMs) * kDayMs + 12 * kHourMs;
  for (const Row& row : rows) {
    Position position;
    position.symbol = *market.Find(row.symbol);
    position.volume = row.volume;
    std::int64_t rollover = tuesday_noon;
    for (int day = 0; day < 7; ++day) {
      rollover = NextRollover(market.spec(position.symbol), rollover);
      EXPECT_DOUBLE_EQ(RolloverSwap(market, position, rollover), row.days[day] * row.one_day)
          << "row " << &row - rows << ", the rollover ending day " << day << " after Tuesday";
    }
  }
}

// EURUSD rolls over at 17:00 New York time: 21:00 UTC in July, 22:00 UTC in
// January; a position open over it pays the day, Wednesday's three times.
TEST(RolloverSwapTest, CurrenciesRollOverAtFivePmNewYorkSummerAndWinter) {
  const market::Market market(market::DefaultSymbols(), 1);
  const struct {
    int month;
    int tuesday;
    int hour;                                                     // of the rollover, UTC
  } rows[] = {{7, 9, 21}, {1, 9, 22}, {3, 12, 21}, {11, 5, 22}};  // the Tuesdays after the changes too
  for (const auto& row : rows) {
    const std::int64_t day_ms = market::DaysFromCivil(2024, row.month, row.tuesday) * kDayMs;
    const std::int64_t rollover = day_ms + row.hour * kHourMs;
    Account account(DefaultAccounts()[0]);
    Ledger ledger(account.balance(), day_ms);
    auto at = [&](std::int64_t ms) {
      Engine engine(market, account, ledger, ms);
      engine.CatchUp();
      return engine;
    };
    // BTCUSD beside it rolls over at 00:00 UTC, each symbol at its own time.
    Engine opening = at(day_ms + 12 * kHourMs);
    ASSERT_EQ(opening.Send(MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 1.0)).retcode, wire::TRADE_RETCODE_DONE);
    ASSERT_EQ(opening.Send(MarketOrder(u"BTCUSD", wire::ORDER_TYPE_BUY, 1.0)).retcode, wire::TRADE_RETCODE_DONE);
    const auto swaps = [&](double eurusd, double btcusd) {
      ASSERT_EQ(ledger.positions().size(), 2u);
      EXPECT_EQ(ledger.positions()[0].swap, eurusd) << row.month;
      EXPECT_EQ(ledger.positions()[1].swap, btcusd) << row.month;
    };
    at(rollover - 1);
    swaps(0.0, 0.0);
    at(rollover);
    swaps(-6.5, 0.0);  // Tuesday
    at(rollover + kDayMs - 1);
    swaps(-6.5, -0.2);  // BTCUSD's Tuesday ended at midnight
    at(rollover + kDayMs);
    swaps(-26.0, -0.2);  // and Wednesday three times
  }
}

TEST(AccountTest, TheBalanceStaysInWholeCentsOverManyDeals) {
  Account account(DefaultAccounts().front());
  const double start = account.balance();
  for (int i = 0; i < 7; ++i) account.Settle(-0.1);  // adding -0.1 seven times leaves 0.0000000000036 over
  EXPECT_EQ(account.balance(), start - 0.7);
  EXPECT_EQ(account.equity(), account.balance());
}

}  // namespace
}  // namespace vl5::terminal::trading
