// [Symbol] sections of the settings file: what they change of a built-in
// symbol shows in trading, and a section the terminal cannot take stops the
// start naming the file, the line and the key.
#include <gtest/gtest.h>

#include "src/wire/trade_codes.h"
#include "terminal/model/market/catalog.h"
#include "terminal/server/settings_table.h"
#include "tests/cpp/terminal/trading_fixture.h"

namespace vl5::terminal {
namespace {

using market::testing::kNowMs;
using trading::testing::MarketOrder;

// The symbols of a settings file, which must be taken.
std::vector<market::SymbolSpec> SymbolsOf(const std::string& ini) {
  Settings settings;
  std::string error;
  std::vector<market::SymbolSpec> symbols;
  EXPECT_TRUE(ApplyIni(&settings, ini, &error)) << error;
  EXPECT_TRUE(ConfiguredSymbols(settings, &symbols, &error)) << error;
  return symbols;
}

// A long EURUSD position held over Tuesday's rollover: the built-in swap
// charges it, a swap set to 0 charges nothing.
TEST(SymbolSectionsTest, AZeroSwapChargesNothingAtTheRollover) {
  struct Case {
    const char* ini;
    bool charged;
  };
  for (const Case& c : {Case{"", true}, Case{"[Symbol EURUSD]\nswap_long=0\n", false}}) {
    const market::Market market(SymbolsOf(c.ini), 1);
    Account account(DefaultAccounts()[0]);
    trading::Ledger ledger(account.balance(), kNowMs);
    ASSERT_EQ(trading::Engine(market, account, ledger, kNowMs)
                  .Send(MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, 1.0))
                  .retcode,
              wire::TRADE_RETCODE_DONE)
        << c.ini;
    trading::Engine(market, account, ledger, kNowMs + 86400 * 1000).CatchUp();
    ASSERT_EQ(ledger.positions().size(), 1u);
    if (c.charged) {
      EXPECT_LT(ledger.positions()[0].swap, 0.0) << c.ini;
    } else {
      EXPECT_EQ(ledger.positions()[0].swap, 0.0) << c.ini;
    }
  }
}

TEST(SymbolSectionsTest, OverriddenVolumeLimitsAreEnforcedByOrderCheck) {
  const market::Market market(SymbolsOf("[Symbol eurusd]\nvolume_min=0.5\nvolume_max=2\nvolume_step=0.5\n"), 1);
  Account account(DefaultAccounts()[0]);
  trading::Ledger ledger(account.balance(), kNowMs);
  const trading::Engine engine(market, account, ledger, kNowMs);
  const std::pair<double, std::uint32_t> volumes[] = {{0.1, wire::TRADE_RETCODE_INVALID_VOLUME},
                                                      {0.7, wire::TRADE_RETCODE_INVALID_VOLUME},
                                                      {2.5, wire::TRADE_RETCODE_INVALID_VOLUME},
                                                      {0.5, 0},
                                                      {2.0, 0}};
  for (const auto& [volume, retcode] : volumes) {
    EXPECT_EQ(engine.Check(MarketOrder(u"EURUSD", wire::ORDER_TYPE_BUY, volume)).retcode, retcode) << volume;
  }
}

// Every check of a section: the start stops with "terminal.ini line N: ..."
// naming the key, and nothing of the file is applied.
TEST(SymbolSectionsTest, ABadSectionStopsTheStartNamingTheFileLineAndKey) {
  struct Bad {
    const char* section;
    const char* keys;  // from line 4 on
    int line;
    const char* message;
  };
  const Bad bad[] = {
      {"Symbol ACME", "trade_calc_mode=EXCH_STOCKS\nvolume_min=0\n", 5, "bad value '0' for volume_min"},
      {"Symbol ACME", "trade_calc_mode=EXCH_STOCKS\nvolume_max=-1\n", 5, "bad value '-1' for volume_max"},
      {"Symbol ACME", "trade_calc_mode=EXCH_STOCKS\nvolume_step=0\n", 5, "bad value '0' for volume_step"},
      {"Symbol ACME", "trade_calc_mode=EXCH_STOCKS\nvolume_limit=-5\n", 5, "bad value '-5' for volume_limit"},
      {"Symbol ACME", "volume_max=3\ntrade_calc_mode=EXCH_STOCKS\nvolume_min=5\n", 6,
       "volume_min 5 exceeds volume_max 3"},
      {"Symbol EURUSD", "volume_max=0.001\n", 4, "volume_min 0.01 exceeds volume_max 0.001"},
      {"Symbol ACME", "trade_calc_mode=EXCH_STOCKS\ndigits=9\n", 5, "bad value '9' for digits"},
      {"Symbol ACME", "trade_calc_mode=CFD\ntrade_contract_size=0\n", 5, "bad value '0' for trade_contract_size"},
      {"Symbol ACME", "trade_calc_mode=FUTURES\n", 4, "bad value 'FUTURES' for trade_calc_mode"},
      {"Symbol EURUSD", "trade_mode=MOSTLY\n", 4, "bad value 'MOSTLY' for trade_mode"},
      {"Symbol EURUSD", "filling_mode=FOK|ALL\n", 4, "bad value 'FOK|ALL' for filling_mode"},
      {"Symbol EURUSD", "swap_rollover3days=FUNDAY\n", 4, "bad value 'FUNDAY' for swap_rollover3days"},
      {"Symbol ACME", "trade_calc_mode=CFD\ncurrency_profit=US\n", 5, "bad value 'US' for currency_profit"},
      {"Symbol ACME", "trade_calc_mode=CFD\ncurrency_profit=SEK\n", 5, "currency_profit SEK has no USDSEK or SEKUSD"},
      {"Symbol ACME", "trade_calc_mode=CFD\ncolour=red\n", 5, "unknown setting 'colour'"},
      {"Symbol ACME", "description=no kind\n", 4, "trade_calc_mode (FOREX, CFD, CFDINDEX or EXCH_STOCKS) missing"},
      {"Symbol CON", "trade_calc_mode=CFD\n", 4, "bad symbol name [symbol con]"},
      {"Symbol ../X", "trade_calc_mode=CFD\n", 4, "bad symbol name [symbol ../x]"},
  };
  for (const Bad& row : bad) {
    const std::string ini = std::string("[Terminal]\nbuild=1999\n[") + row.section + "]\n" + row.keys;
    Settings s;
    std::string error;
    EXPECT_FALSE(ApplyIni(&s, ini, &error)) << ini;
    const std::string expected = "terminal.ini line " + std::to_string(row.line) + ": " + row.message;
    EXPECT_EQ(error.rfind(expected, 0), 0u) << ini << "\n" << error;
    EXPECT_EQ(s.build, Settings{}.build) << ini;
  }
  // A history of a symbol that is neither built in nor defined.
  Settings s;
  std::string error;
  EXPECT_TRUE(ApplySetting(&s, "history", "EURUSD,ACME", &error)) << error;
  EXPECT_FALSE(CheckSettings(s, &error));
  EXPECT_EQ(error, "history names ACME, neither a built-in symbol nor defined by a [Symbol ACME] section");
}

}  // namespace
}  // namespace vl5::terminal
