// The terminal's settings: defaults, then config/terminal.ini of its data
// folder, then the command line, each overriding the one before. Both
// sources use the same keys ("--idle-exit 5" is "idle_exit=5" in the file).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "terminal/account/account.h"
#include "terminal/settings/ini.h"

namespace vl5::terminal {

// A [Symbol <name>] section: what the settings file changes of a built-in symbol.
struct SymbolConfig {
  std::u16string name;
  std::optional<double> commission_per_lot;
  std::optional<double> commission_percent;
};

struct Settings {
  std::uint64_t seed = 1;
  std::optional<std::int64_t> clock_start;   // Unix seconds; empty: the system clock
  std::uint32_t clock_speed = 0;             // a set clock: 0 stands still, N runs N times real time
  std::uint32_t build = 5100;
  std::uint32_t idle_exit = 600;       // seconds without clients before stopping; 0: never
  std::uint32_t connect_delay = 200;   // ms a login spends "connecting"
  std::uint32_t maxbars = 5000000;     // most bars or ticks in one reply
  std::uint64_t login = 10001;         // account logged in at start
  bool trade_allowed = true;
  bool tradeapi_disabled = false;      // order_send refused with -8; order_check still answers
  std::vector<std::u16string> history;  // symbols whose prices come from history files
  std::string history_dir;              // UTF-8; empty: "history" in the data folder
  std::vector<AccountConfig> accounts = DefaultAccounts();
  std::vector<SymbolConfig> symbols;
};

struct CommandLine {
  std::vector<std::pair<std::string, std::string>> settings;  // key, value
  std::string data_dir;  // UTF-8; empty: the registered data folder
  bool register_only = false;
  bool portable = false;
  bool help = false;
};

// argv without the program name. False with a message for an unknown option
// or a missing value; values are checked later by ApplySetting.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error);

// One key of the [Terminal] section or of the command line.
bool ApplySetting(Settings* settings, std::string_view key, std::string_view value, std::string* error);

// [Terminal] keys, [Account <login>] and [Symbol <name>] sections; accounts
// in the file replace the built-in ones. Problems become warnings and leave
// the defaults.
void ApplyIni(Settings* settings, const std::vector<IniEntry>& entries, std::vector<std::string>* warnings);

// The file written into a new data folder: every key with its default.
std::string DefaultIniText();

// The help: every option and settings key with its default.
std::string Usage();

}  // namespace vl5::terminal
