// What the terminal is set up with: the settings, the accounts and what the
// settings file changes of a symbol. Plain records; the one table that reads
// them from the command line and config/terminal.ini is
// terminal/server/settings_table.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vl5::terminal {

struct AccountConfig {
  std::uint64_t login = 0;
  std::u16string password;
  std::u16string server;
  std::u16string name;
  bool otp = false;  // needs a one-time password, which this interface cannot send
  double balance = 10000.0;
  std::uint32_t leverage = 100;
  // Trading costs (trading/costs.h), unless a symbol sets its own.
  double commission_per_lot = 0.0;  // account currency per lot and deal
  double commission_percent = 0.0;  // of each deal's value
  // Margin levels in percent: below the call a warning, below the stop-out
  // the most losing positions are closed.
  double margin_call = 50.0;
  double margin_stop_out = 30.0;
  // Market time between a market order's sending and its execution.
  std::uint32_t latency_ms = 0;
};

// The longest latency an account may have: a request waits that long (at
// the clock's speed), and up to a minute more for a tick, for its fill.
inline constexpr std::uint32_t kMaxLatencyMs = 10000;

// 10001 "demo" and 10002 "demo2" on Velmora-Demo; 10003 needs a one-time password.
std::vector<AccountConfig> DefaultAccounts();

// A [Symbol <name>] section: a new symbol, or what the settings file changes
// of a built-in one. Its keys stay as written, with their lines, since what a
// key may say depends on the others (a new symbol's kind sets the defaults);
// terminal/model/market/symbol_keys.h reads and checks them.
struct SymbolKeyLine {
  std::string key;  // lower case
  std::string value;
  int line = 0;
};

struct SymbolConfig {
  std::u16string name;  // upper case
  int line = 0;         // of its first key
  std::vector<SymbolKeyLine> keys;
};

struct Settings {
  std::uint64_t seed = 1;
  std::optional<std::int64_t> clock_start;  // Unix seconds; empty: the system clock
  std::uint32_t clock_speed = 0;            // a set clock: 0 stands still, N runs N times real time
  bool stepped = false;                     // the set clock moves only when a client steps it
  std::uint32_t build = 5100;
  std::uint32_t idle_exit = 600;      // seconds without clients before stopping; 0: never
  std::uint32_t connect_delay = 200;  // ms a login spends "connecting"
  std::uint32_t maxbars = 5000000;    // most bars or ticks in one reply
  std::uint64_t login = 10001;        // account logged in at start
  bool trade_allowed = true;
  bool tradeapi_disabled = false;       // order_send refused with -8; order_check still answers
  std::vector<std::u16string> history;  // symbols whose prices come from history files
  std::string history_dir;              // UTF-8; empty: "history" in the data folder
  std::string cache_dir;                // UTF-8; empty: this user's cache folder; "none": nothing kept
  std::vector<AccountConfig> accounts = DefaultAccounts();
  std::vector<SymbolConfig> symbols;
};

}  // namespace vl5::terminal
