// Command line, settings file, and which one wins.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "terminal/model/clock.h"
#include "terminal/base/ini.h"
#include "terminal/model/market/catalog.h"
#include "terminal/server/settings_table.h"

namespace vl5::terminal {
namespace {

CommandLine Parse(const std::vector<std::string>& args) {
  CommandLine command;
  std::string error;
  EXPECT_TRUE(ParseCommandLine(args, &command, &error)) << error;
  return command;
}

TEST(SettingsTest, CommandLineTakesBothOptionFormsAndSwitches) {
  const CommandLine c =
      Parse({"--seed", "42", "--idle-exit=5", "/portable", "--data-dir", "/x y", "--register", "--clock", "live"});
  EXPECT_TRUE(c.portable);
  EXPECT_TRUE(c.register_only);
  EXPECT_EQ(c.data_dir, "/x y");
  ASSERT_EQ(c.settings.size(), 3u);
  EXPECT_EQ(c.settings[0], (std::pair<std::string, std::string>("seed", "42")));
  EXPECT_EQ(c.settings[1], (std::pair<std::string, std::string>("idle_exit", "5")));
  EXPECT_EQ(c.settings[2], (std::pair<std::string, std::string>("clock", "live")));
}

TEST(SettingsTest, SwitchesMayStandAloneOnTheCommandLine) {
  using Pair = std::pair<std::string, std::string>;
  const CommandLine c = Parse({"--trade-api-disabled", "--idle-exit", "5", "--trade-allowed", "off",
                               "--tradeapi-disabled=0", "--trade-api-disabled"});
  ASSERT_EQ(c.settings.size(), 5u);
  EXPECT_EQ(c.settings[0], Pair("trade_api_disabled", "1"));  // the next argument is another option
  EXPECT_EQ(c.settings[1], Pair("idle_exit", "5"));
  EXPECT_EQ(c.settings[2], Pair("trade_allowed", "off"));  // a flag word is its value
  EXPECT_EQ(c.settings[3], Pair("tradeapi_disabled", "0"));
  EXPECT_EQ(c.settings[4], Pair("trade_api_disabled", "1"));  // last on the line
  Settings s;
  std::string error;
  for (const auto& [key, value] : c.settings) ASSERT_TRUE(ApplySetting(&s, key, value, &error)) << error;
  EXPECT_TRUE(s.tradeapi_disabled);
  EXPECT_FALSE(s.trade_allowed);
}

TEST(SettingsTest, CommandLineRefusesStrayArgumentsAndMissingValues) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"portable"}, {"--seed"}, {"-x"}}) {
    CommandLine command;
    std::string error;
    EXPECT_FALSE(ParseCommandLine(args, &command, &error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(SettingsTest, ValuesAreCheckedPerKey) {
  Settings s;
  std::string error;
  EXPECT_TRUE(ApplySetting(&s, "clock", "1700000000", &error));
  EXPECT_EQ(s.clock_start, 1700000000);
  EXPECT_TRUE(ApplySetting(&s, "clock", "LIVE", &error));
  EXPECT_FALSE(s.clock_start.has_value());
  EXPECT_TRUE(ApplySetting(&s, "build", "2000", &error));
  EXPECT_EQ(s.build, 2000u);
  EXPECT_TRUE(ApplySetting(&s, "tradeapi_disabled", "yes", &error));
  EXPECT_TRUE(s.tradeapi_disabled);
  EXPECT_TRUE(ApplySetting(&s, "trade_api_disabled", "0", &error));
  EXPECT_FALSE(s.tradeapi_disabled);
  EXPECT_TRUE(ApplySetting(&s, "clock_speed", "600", &error));
  EXPECT_EQ(s.clock_speed, 600u);
  EXPECT_TRUE(ApplySetting(&s, "seed", "18446744073709551615", &error));
  EXPECT_TRUE(ApplySetting(&s, "history", " eurusd, XAUUSD", &error));
  EXPECT_EQ(s.history, (std::vector<std::u16string>{u"EURUSD", u"XAUUSD"}));
  EXPECT_TRUE(ApplySetting(&s, "history", "", &error));
  EXPECT_TRUE(s.history.empty());
}

// A value that does not parse whole, is not finite or lies outside its range
// is refused, on the command line ([Terminal] keys) as in the file, with a
// message naming the key and the value, and nothing of it is applied.
TEST(SettingsTest, BadValuesAreRefusedWholeInTheFileAndOnTheCommandLine) {
  struct Bad {
    const char* section;
    const char* key;
    const char* value;
    const char* problem = nullptr;  // nullptr: "bad value '<value>' for <key>"
  };
  const Bad bad[] = {{"Terminal", "idle_exit", "2abc"},
                     {"Terminal", "idle_exit", ""},
                     {"Terminal", "idle_exit", "-1"},
                     {"Terminal", "idle_exit", "4294967296"},
                     {"Terminal", "seed", "-1"},
                     {"Terminal", "seed", "12x"},
                     {"Terminal", "login", "0x10"},
                     {"Terminal", "build", "0"},
                     {"Terminal", "maxbars", "10"},
                     {"Terminal", "connect_delay", "999999"},
                     {"Terminal", "clock", "yesterday"},
                     {"Terminal", "clock", "-5"},
                     {"Terminal", "clock", "9223372036854775807"},
                     {"Terminal", "clock", "4102444801"},  // past the latest clock
                     {"Terminal", "clock_speed", "-1"},
                     {"Terminal", "clock_speed", "3601"},
                     {"Terminal", "trade_allowed", "2"},
                     {"Terminal", "history", "EURUSD,EURUSD"},
                     {"Terminal", "history", "EURUSD,NO/PE"},
                     {"Terminal", "history", "EURUSD,,GBPUSD"},
                     {"Terminal", "history_dir", ""},
                     {"Terminal", "colour", "1", "unknown setting 'colour'"},
                     {"Account 500", "balance", "nan"},
                     {"Account 500", "balance", "inf"},
                     {"Account 500", "balance", "0x10"},
                     {"Account 500", "balance", "25x"},
                     {"Account 500", "balance", "-1"},
                     {"Account 500", "balance", "1e13"},
                     {"Account 500", "leverage", "0"},
                     {"Account 500", "leverage", "100.5"},
                     {"Account 500", "margin_call", "-1"},
                     {"Account 500", "margin_stop_out", "nan"},
                     {"Account 500", "commission_per_lot", "1e400"},
                     {"Account 500", "otp", "maybe"},
                     {"Account 500", "colour", "1", "unknown setting 'colour'"},
                     {"Symbol EURUSD", "commission_percent", "200"},
                     {"Symbol EURUSD", "commission_per_lot", "inf"},
                     {"Symbol EURUSD", "timezone", "Mars/Olympus_Mons"},
                     {"Symbol EURUSD", "timezone", "../../etc/passwd"},
                     {"Symbol EURUSD", "timezone", ""},
                     {"Symbol EURUSD", "hours", "Mon-Fri 09:30-24:01"},
                     {"Symbol EURUSD", "hours", "Mon-Fri 16:00-09:30"},
                     {"Symbol EURUSD", "hours", "Mon-Fri 09:00-17:00, Tue 12:00-13:00"},
                     {"Symbol EURUSD", "hours", "Moon 09:30-16:00"},
                     {"Symbol EURUSD", "hours", ""},
                     {"Elsewhere", "x", "1", "unknown section [elsewhere]"},
                     {"Account x", "balance", "1", "unknown section [account x]"}};
  for (const Bad& row : bad) {
    const std::string where = std::string("[") + row.section + "] " + row.key + "=" + row.value;
    const std::string problem =
        row.problem != nullptr ? row.problem : "bad value '" + std::string(row.value) + "' for " + row.key;
    Settings s;
    std::string error;
    EXPECT_FALSE(ApplyIni(
        &s, std::string("[Terminal]\nbuild=1999\n[") + row.section + "]\n" + row.key + "=" + row.value + "\n", &error))
        << where;
    EXPECT_EQ(error.rfind("terminal.ini line 4: " + problem, 0), 0u) << where << ": " << error;
    EXPECT_EQ(s.build, Settings{}.build) << where;  // nothing of the file was applied
    EXPECT_EQ(s.accounts.size(), DefaultAccounts().size()) << where;
    if (std::string_view(row.section) != "Terminal") continue;
    Settings line;
    EXPECT_FALSE(ApplySetting(&line, row.key, row.value, &error)) << where;
    EXPECT_EQ(error, problem) << where;
    EXPECT_EQ(line.idle_exit, Settings{}.idle_exit) << where;  // not even the "2" of "2abc"
  }
}

TEST(SettingsTest, LinesThatAreNeitherSectionNorKeyStopTheFile) {
  Settings s;
  std::string error;
  EXPECT_FALSE(ApplyIni(&s, "[Terminal]\nseed=3\nidle_exit 5\n", &error));
  EXPECT_EQ(error, "terminal.ini line 3: not a [section] or key=value line");
  EXPECT_EQ(s.seed, Settings{}.seed);
}

TEST(SettingsTest, IniFileHasSectionsCommentsAndForgivingSpacing) {
  std::vector<int> ignored;
  const auto entries = ParseIni(
      "\xEF\xBB\xBF; comment\r\n[Terminal]\r\n Seed = 9 \r\n# more\r\nnonsense\r\n"
      "[ Account 777 ]\npassword=p=q\n",
      &ignored);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].section, "terminal");
  EXPECT_EQ(entries[0].key, "seed");
  EXPECT_EQ(entries[0].value, "9");
  EXPECT_EQ(entries[1].section, "account 777");
  EXPECT_EQ(entries[1].value, "p=q");
  EXPECT_EQ(ignored, std::vector<int>{5});
}

TEST(SettingsTest, IniAccountsReplaceTheBuiltInOnes) {
  Settings s;
  std::string error;
  ASSERT_TRUE(ApplyIni(&s,
                       "[Terminal]\nbuild=1999\n[Account 500]\npassword=pw\notp=1\n"
                       "balance=2500.5\nleverage=30\n[Account 400]\npassword=a\n",
                       &error))
      << error;
  EXPECT_EQ(s.build, 1999u);
  ASSERT_EQ(s.accounts.size(), 2u);
  EXPECT_EQ(s.accounts[0].login, 400u);
  EXPECT_EQ(s.accounts[1].login, 500u);
  EXPECT_TRUE(s.accounts[1].otp);
  EXPECT_DOUBLE_EQ(s.accounts[1].balance, 2500.5);
  EXPECT_EQ(s.accounts[1].leverage, 30u);
  EXPECT_EQ(s.accounts[1].password, u"pw");
}

TEST(SettingsTest, TheDefaultFileReadsBackAsTheDefaults) {
  Settings s;
  std::string error;
  EXPECT_TRUE(ApplyIni(&s, DefaultIniText(), &error)) << error;
  const Settings d;
  EXPECT_EQ(s.seed, d.seed);
  EXPECT_EQ(s.build, d.build);
  EXPECT_EQ(s.idle_exit, d.idle_exit);
  EXPECT_EQ(s.clock_speed, d.clock_speed);
  EXPECT_EQ(s.tradeapi_disabled, d.tradeapi_disabled);
  ASSERT_EQ(s.accounts.size(), d.accounts.size());
  for (std::size_t i = 0; i < s.accounts.size(); ++i) {
    EXPECT_EQ(s.accounts[i].login, d.accounts[i].login);
    EXPECT_EQ(s.accounts[i].password, d.accounts[i].password);
    EXPECT_EQ(s.accounts[i].server, d.accounts[i].server);
    EXPECT_EQ(s.accounts[i].otp, d.accounts[i].otp);
  }
}

// Keys, help and the new file come from one table: whatever a new file
// writes, the help explains as an option or an account key.
TEST(SettingsTest, TheHelpNamesEveryKeyOfTheDefaultFile) {
  const std::string usage = Usage();
  for (const IniEntry& entry : ParseIni(DefaultIniText())) {
    std::string option = entry.key;
    for (char& c : option) c = c == '_' ? '-' : c;
    const std::string listed = entry.section == "terminal" ? "--" + option + " " : "  " + entry.key + " ";
    EXPECT_NE(usage.find(listed), std::string::npos) << entry.key;
  }
  EXPECT_NE(usage.find("--seed N"), std::string::npos);
  EXPECT_NE(usage.find("(default: 600)"), std::string::npos);  // idle_exit
}

TEST(SettingsTest, CostsAndMarginLevelsPerAccountAndSymbol) {
  Settings s;
  std::string error;
  ASSERT_TRUE(ApplyIni(&s,
                       "[Account 7]\ncommission_per_lot=3.5\nmargin_stop_out=20\n"
                       "[Symbol xauusd]\ncommission_percent=0.02\n[Symbol EURUSD]\ncommission_per_lot=4\n",
                       &error))
      << error;
  ASSERT_EQ(s.accounts.size(), 1u);
  EXPECT_EQ(s.accounts[0].commission_per_lot, 3.5);
  EXPECT_EQ(s.accounts[0].margin_stop_out, 20.0);
  EXPECT_EQ(s.accounts[0].margin_call, AccountConfig{}.margin_call);
  std::vector<market::SymbolSpec> symbols;
  ASSERT_TRUE(ConfiguredSymbols(s, &symbols, &error)) << error;
  const market::Market market(std::move(symbols), 1);
  const market::SymbolSpec& gold = market.spec(*market.Find(u"XAUUSD"));
  const market::SymbolSpec& euro = market.spec(*market.Find(u"EURUSD"));
  EXPECT_EQ(gold.commission_percent, 0.02);
  EXPECT_FALSE(gold.commission_per_lot.has_value());
  EXPECT_EQ(euro.commission_per_lot, 4.0);
  EXPECT_FALSE(euro.commission_percent.has_value());
}

TEST(SettingsTest, HoursAndTheirZonePerSymbolAndWhyTheyAreRefused) {
#ifdef _WIN32
  GTEST_SKIP() << "zones other than the built-in ones come from a zone folder, which Windows lacks";
#endif
  Settings s;
  std::string error;
  ASSERT_TRUE(ApplyIni(&s, "[Symbol KSTL]\ntimezone = Europe/London\nhours = Mon-Fri 08:00-16:30\n", &error)) << error;
  std::vector<market::SymbolSpec> symbols;
  ASSERT_TRUE(ConfiguredSymbols(s, &symbols, &error)) << error;
  const auto kstl = std::find_if(symbols.begin(), symbols.end(), [](const auto& x) { return x.name == u"KSTL"; });
  ASSERT_NE(kstl, symbols.end());
  ASSERT_NE(kstl->hours.shared_zone(), nullptr);
  EXPECT_EQ(kstl->hours.shared_zone()->name(), "Europe/London");
  ASSERT_EQ(kstl->hours.windows().size(), 5u);
  EXPECT_EQ(kstl->hours.windows()[0].open, market::kDayMinutes + 8 * 60);  // Monday 08:00 local
  EXPECT_FALSE(ApplyIni(&s, "[Terminal]\nseed=2\n\n[Symbol EURUSD]\nhours = Mon-Fri 09:30-24:01\n", &error));
  EXPECT_EQ(error,
            "terminal.ini line 5: bad value 'Mon-Fri 09:30-24:01' for hours (HOURS|always|data) in [Symbol EURUSD]: "
            "'24:01' is not a time of day (00:00 to 24:00)");
  EXPECT_FALSE(ApplyIni(&s, "[Symbol EURUSD]\ntimezone = Europe/Atlantis\n", &error));
  EXPECT_EQ(error.rfind("terminal.ini line 2: bad value 'Europe/Atlantis' for timezone (ZONE) in [Symbol EURUSD]: "
                        "unknown time zone 'Europe/Atlantis'",
                        0),
            0u)
      << error;
}

TEST(SettingsTest, TheTradingSwitchReadsFromTheFile) {
  Settings s;
  std::string error;
  EXPECT_TRUE(ApplyIni(&s, "[Terminal]\ntrade_api_disabled=1\nclock=1700000000\nclock_speed=60\n", &error)) << error;
  EXPECT_TRUE(s.tradeapi_disabled);
  EXPECT_EQ(s.clock_start, 1700000000);
  EXPECT_EQ(s.clock_speed, 60u);
}

TEST(SettingsTest, TheCommandLineWinsOverTheFile) {
  Settings s;
  std::string error;
  ASSERT_TRUE(ApplyIni(&s, "[Terminal]\nseed=5\nbuild=2000\n", &error)) << error;
  for (const auto& [key, value] : Parse({"--build", "5200"}).settings)
    ASSERT_TRUE(ApplySetting(&s, key, value, &error));
  EXPECT_EQ(s.build, 5200u);
  EXPECT_EQ(s.seed, 5u);
}

}  // namespace
}  // namespace vl5::terminal
