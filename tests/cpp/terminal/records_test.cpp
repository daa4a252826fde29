// Symbol, terminal and account records: every field placed through the
// shared tables, and the values a client reads back.
#include <gtest/gtest.h>

#include "terminal/base/calendar.h"
#include "terminal/base/record_builder.h"
#include "terminal/model/account/account_record.h"
#include "terminal/model/terminal_record.h"
#include "terminal/model/market/symbol_record.h"
#include "tests/cpp/terminal/market_fixture.h"
#include "tests/cpp/terminal/request_helpers.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal {
namespace {

using testing::Bytes;
using testing::Text;
using wire::FindField;
using wire::kSymbolInfoFields;

template <typename T>
T Get(const Bytes& record, const wire::Field* field) {
  return wire::Load<T>(record.data(), field->offset);
}

TEST(RecordsTest, BuilderPlacesByName) {
  using F = RecordBuilder<wire::kAccountInfoFields>;
  // A name the table lacks resolves to an index no setter compiles with.
  static_assert(F::At("no_such_field") == F::kCount);
  static_assert(F::At("login") == 0);
  F r(wire::kAccountInfoSize);
  r.Uint<F::At("login")>(42)
      .Text<F::At("currency")>(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")
      .Real<F::At("balance")>(1.5);
  const Bytes& bytes = r.bytes();
  ASSERT_EQ(bytes.size(), wire::kAccountInfoSize);
  EXPECT_EQ(Get<std::uint64_t>(bytes, FindField(wire::kAccountInfoFields, "login")), 42u);
  EXPECT_DOUBLE_EQ(Get<double>(bytes, FindField(wire::kAccountInfoFields, "balance")), 1.5);
  // A text is cut at its field (32 units) and never spills into the next one.
  EXPECT_EQ(Text(bytes, FindField(wire::kAccountInfoFields, "currency")), u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
  EXPECT_EQ(Get<std::uint8_t>(bytes, FindField(wire::kAccountInfoFields, "company")), 0);
}

TEST(RecordsTest, EverySymbolRecordIsCompleteAndConsistent) {
  market::Market market(market::DefaultSymbols(), 1);
  EXPECT_EQ(market.size(), 12u);
  const std::int64_t now = 1700000000LL * 1000;
  for (std::size_t i = 0; i < market.size(); ++i) {
    const market::SymbolSpec& spec = market.spec(i);
    const Bytes r = market::BuildSymbolRecord(market, i, {true, now});
    ASSERT_EQ(r.size(), wire::kSymbolInfoSize);
    EXPECT_EQ(Text(r, FindField(kSymbolInfoFields, "name")), spec.name);
    EXPECT_EQ(Text(r, FindField(kSymbolInfoFields, "path")), spec.path);
    EXPECT_EQ(spec.path.find(u'/'), std::u16string::npos);
    EXPECT_LE(spec.activity, 15) << "too many ticks per minute for the walker's buffer";
    EXPECT_EQ(Get<std::uint32_t>(r, FindField(kSymbolInfoFields, "digits")), static_cast<std::uint32_t>(spec.digits));
    EXPECT_EQ(Get<std::uint8_t>(r, FindField(kSymbolInfoFields, "select")), 1);
    const double bid = Get<double>(r, FindField(kSymbolInfoFields, "bid"));
    const double ask = Get<double>(r, FindField(kSymbolInfoFields, "ask"));
    const double point = Get<double>(r, FindField(kSymbolInfoFields, "point"));
    EXPECT_LT(bid, ask);
    EXPECT_NEAR((ask - bid) / point, Get<std::int32_t>(r, FindField(kSymbolInfoFields, "spread")), 1e-6);
    EXPECT_LE(Get<double>(r, FindField(kSymbolInfoFields, "bidlow")), bid);
    EXPECT_GE(Get<double>(r, FindField(kSymbolInfoFields, "bidhigh")), bid);
    EXPECT_GT(Get<double>(r, FindField(kSymbolInfoFields, "trade_tick_value")), 0.0);
    EXPECT_LE(Get<double>(r, FindField(kSymbolInfoFields, "volume_min")),
              Get<double>(r, FindField(kSymbolInfoFields, "volume_max")));
    // Between hours: the last quote before the close.
    const std::int64_t quoted = Get<std::int64_t>(r, FindField(kSymbolInfoFields, "time"));
    if (spec.hours.Open(now / 60000)) {
      EXPECT_EQ(quoted / 60, now / 60000);
    } else {
      EXPECT_LT(quoted, now / 1000);
    }
  }
}

TEST(RecordsTest, AClosedMarketQuotesItsLastTickAndThatDaysRange) {
  const market::Market market(market::DefaultSymbols(), 1);
  const std::int64_t saturday_noon = 1699704000LL * 1000;  // 2023-11-11
  const std::int64_t before_the_bell = market::DaysFromCivil(2023, 11, 15) * 86400 * 1000 + 10 * 3600 * 1000;
  std::vector<std::pair<std::size_t, std::int64_t>> cases;
  for (std::size_t i = 0; i < market.size(); ++i) cases.emplace_back(i, saturday_noon);
  for (const char16_t* name : {u"KSTL", u"US500"}) cases.emplace_back(*market.Find(name), before_the_bell);
  for (const auto& [index, now] : cases) {
    const market::SymbolSpec& spec = market.spec(index);
    SCOPED_TRACE(std::string(spec.name.begin(), spec.name.end()) + " at " + std::to_string(now));
    market::Tick tick;
    ASSERT_TRUE(market::LastTick(market.path(index), now, &tick));
    const std::int64_t day_start = tick.time_msc / 86400000 * 86400000;
    const std::vector<market::Tick> day = market::testing::CollectTicks(market.path(index), day_start, now);
    ASSERT_FALSE(day.empty());
    std::int64_t high = day[0].bid, low = day[0].bid;
    for (const market::Tick& t : day) high = std::max(high, t.bid), low = std::min(low, t.bid);

    const Bytes r = market::BuildSymbolRecord(market, index, {true, now});
    EXPECT_EQ(Get<std::int64_t>(r, FindField(kSymbolInfoFields, "time")), tick.time_msc / 1000);
    EXPECT_EQ(Get<double>(r, FindField(kSymbolInfoFields, "bid")), spec.Price(tick.bid));
    EXPECT_EQ(Get<double>(r, FindField(kSymbolInfoFields, "ask")), spec.Price(tick.ask));
    EXPECT_EQ(Get<double>(r, FindField(kSymbolInfoFields, "bidhigh")), spec.Price(high));
    EXPECT_EQ(Get<double>(r, FindField(kSymbolInfoFields, "bidlow")), spec.Price(low));
    EXPECT_EQ(Get<double>(r, FindField(kSymbolInfoFields, "session_open")), spec.Price(day[0].bid));
    if (spec.trades) {
      EXPECT_EQ(Get<double>(r, FindField(kSymbolInfoFields, "last")), spec.Price(tick.last));
    }
  }
}

TEST(RecordsTest, TickValuesAreInDollars) {
  market::Market market(market::DefaultSymbols(), 1);
  const std::int64_t now = 1700000000LL * 1000;
  const wire::Field* tick_value = FindField(kSymbolInfoFields, "trade_tick_value");
  const wire::Field* bid = FindField(kSymbolInfoFields, "bid");
  auto record = [&](const char16_t* name) {
    return market::BuildSymbolRecord(market, *market.Find(name), {false, now});
  };
  EXPECT_DOUBLE_EQ(Get<double>(record(u"EURUSD"), tick_value), 1.0);  // 0.00001 x 100000 USD
  const Bytes usdjpy = record(u"USDJPY");
  EXPECT_NEAR(Get<double>(usdjpy, tick_value), 100.0 / Get<double>(usdjpy, bid), 1e-9);  // 0.001 x 100000 JPY
  EXPECT_NEAR(Get<double>(record(u"EURJPY"), tick_value), Get<double>(usdjpy, tick_value), 1e-9);
  EXPECT_DOUBLE_EQ(Get<double>(record(u"XAUUSD"), tick_value), 1.0);  // 0.01 x 100 oz
}

TEST(RecordsTest, TerminalAndAccountRecords) {
  Settings settings = testing::TestSettings();
  settings.build = 4321;
  settings.tradeapi_disabled = true;
  Terminal terminal(settings, testing::TestFolders());
  const Bytes t = BuildTerminalRecord(terminal);
  ASSERT_EQ(t.size(), wire::kTerminalInfoSize);
  EXPECT_EQ(Get<std::uint32_t>(t, FindField(wire::kTerminalInfoFields, "build")), 4321u);
  EXPECT_EQ(t[3161], 1);  // tradeapi_disabled, the record's last byte
  EXPECT_EQ(Get<std::uint8_t>(t, FindField(wire::kTerminalInfoFields, "connected")), 1);
  EXPECT_EQ(Text(t, FindField(wire::kTerminalInfoFields, "company")), u"Orbisco Ltd");
  EXPECT_EQ(Text(t, FindField(wire::kTerminalInfoFields, "name")), u"Velmora 5 Simulated Terminal");
  EXPECT_EQ(Text(t, FindField(wire::kTerminalInfoFields, "path")), u"/opt/velmora");
  EXPECT_EQ(Text(t, FindField(wire::kTerminalInfoFields, "data_path")), u"/data/velmora");

  const Account account(DefaultAccounts()[1]);
  const Bytes a = BuildAccountRecord(account, true);
  ASSERT_EQ(a.size(), wire::kAccountInfoSize);
  EXPECT_EQ(Get<std::uint64_t>(a, FindField(wire::kAccountInfoFields, "login")), 10002u);
  EXPECT_EQ(Get<std::uint32_t>(a, FindField(wire::kAccountInfoFields, "leverage")), 500u);
  EXPECT_DOUBLE_EQ(Get<double>(a, FindField(wire::kAccountInfoFields, "equity")), 50000.0);
  EXPECT_DOUBLE_EQ(Get<double>(a, FindField(wire::kAccountInfoFields, "margin_free")), 50000.0);
  EXPECT_EQ(Text(a, FindField(wire::kAccountInfoFields, "currency")), u"USD");
  EXPECT_EQ(Text(a, FindField(wire::kAccountInfoFields, "server")), u"Velmora-Demo");
}

}  // namespace
}  // namespace vl5::terminal
