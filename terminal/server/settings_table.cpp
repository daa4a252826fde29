#include "terminal/server/settings_table.h"

#include <algorithm>
#include <map>

#include "src/wire/text.h"
#include "terminal/base/value_text.h"
#include "terminal/model/clock.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/market/symbol_keys.h"

namespace vl5::terminal {

namespace {

constexpr std::uint32_t kMinMaxbars = 1000;
constexpr std::uint32_t kMaxMaxbars = 20000000;  // 60-byte records: keeps a reply under 2^32 bytes
constexpr std::uint32_t kMaxConnectDelay = 60000;
// An hour of market per real second: pending orders are evaluated over every
// tick that passed, so a faster clock would make idle gaps costly.
constexpr std::uint32_t kMaxClockSpeed = 3600;
// A trillion: far above any test account, far below where cents lose precision.
constexpr double kMaxBalance = 1e12;

bool ParseClock(std::string_view text, std::optional<std::int64_t>* clock) {
  if (Lower(text) == "live") {
    clock->reset();
    return true;
  }
  std::int64_t seconds = 0;
  if (!ParseNumber(text, &seconds) || seconds < 0 || seconds > kLatestClockSeconds) return false;
  *clock = seconds;
  return true;
}

// "EURUSD,MYSTOCK": symbol names, each once; "" names none. Whether each is
// built in or defined by a [Symbol] section is known only once the file and
// the command line are read (CheckSettings).
bool ParseSymbolList(std::string_view text, std::vector<std::u16string>* symbols) {
  std::vector<std::u16string> parsed;
  while (!Trim(text).empty()) {
    const std::size_t comma = text.find(',');
    std::u16string name;
    if (!market::ParseSymbolName(text.substr(0, comma), &name) ||
        std::find(parsed.begin(), parsed.end(), name) != parsed.end()) {
      return false;
    }
    parsed.push_back(std::move(name));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  *symbols = std::move(parsed);
  return true;
}

std::string FormatSymbolList(const std::vector<std::u16string>& symbols) {
  std::string text;
  for (const std::u16string& name : symbols) text += (text.empty() ? "" : ",") + wire::Utf16ToUtf8(name);
  return text;
}

// A finite amount in [0, high].
bool ParseAmount(std::string_view text, double high, double* value) {
  double parsed = 0.0;
  if (!ParseNumber(text, &parsed) || !(parsed >= 0.0 && parsed <= high)) return false;
  *value = parsed;
  return true;
}

std::string FormatFlag(bool value) { return value ? "1" : "0"; }

std::string BadValue(std::string_view key, std::string_view value) {
  return "bad value '" + std::string(value) + "' for " + std::string(key);
}

// One key of a settings section: how it reads, how a new settings file
// writes its default, and its line in the help. Every key is listed once,
// in these tables, and everything else is derived from them.
template <typename T>
struct Key {
  const char* name;   // in the file; "--name-with-dashes" on the command line
  const char* shape;  // of the value in the help; "[0|1]" marks a switch
  const char* help;   // nullptr: another spelling of the key before it, not listed
  bool (*apply)(T*, std::string_view);
  std::string (*value)(const T&);  // "" leaves the key out of a new file
};

bool IsSwitch(const char* shape) { return std::string_view(shape) == "[0|1]"; }

const Key<Settings> kTerminalKeys[] = {
    {"seed", "N", "market seed: the same seed gives the same prices",
     [](Settings* s, std::string_view v) { return ParseNumber(v, &s->seed); },
     [](const Settings& s) { return std::to_string(s.seed); }},
    {"clock", "live|SECONDS", "the system clock, or a set clock starting at a Unix time",
     [](Settings* s, std::string_view v) { return ParseClock(v, &s->clock_start); },
     [](const Settings& s) { return s.clock_start ? std::to_string(*s.clock_start) : std::string("live"); }},
    {"clock_speed", "N", "a set clock runs N times real time, at most 3600 (0: it stands still)",
     [](Settings* s, std::string_view v) { return ParseRange<std::uint32_t>(v, 0, kMaxClockSpeed, &s->clock_speed); },
     [](const Settings& s) { return std::to_string(s.clock_speed); }},
    {"stepped", "[0|1]", "the set clock stands still and moves only when a client steps it (velmora5.sim)",
     [](Settings* s, std::string_view v) { return ParseFlag(v, &s->stepped); },
     [](const Settings& s) { return FormatFlag(s.stepped); }},
    {"build", "N", "build number reported to clients",
     [](Settings* s, std::string_view v) { return ParseRange<std::uint32_t>(v, 1, 0x7FFFFFFF, &s->build); },
     [](const Settings& s) { return std::to_string(s.build); }},
    {"idle_exit", "SECONDS", "stop after this long without clients (0: never)",
     [](Settings* s, std::string_view v) { return ParseNumber(v, &s->idle_exit); },
     [](const Settings& s) { return std::to_string(s.idle_exit); }},
    {"connect_delay", "MS", "how long a login stays \"connecting\"",
     [](Settings* s, std::string_view v) {
       return ParseRange<std::uint32_t>(v, 0, kMaxConnectDelay, &s->connect_delay);
     },
     [](const Settings& s) { return std::to_string(s.connect_delay); }},
    {"maxbars", "N", "most bars or ticks in one reply",
     [](Settings* s, std::string_view v) { return ParseRange(v, kMinMaxbars, kMaxMaxbars, &s->maxbars); },
     [](const Settings& s) { return std::to_string(s.maxbars); }},
    {"login", "N", "account logged in at start",
     [](Settings* s, std::string_view v) { return ParseNumber(v, &s->login); },
     [](const Settings& s) { return std::to_string(s.login); }},
    {"history", "SYMBOL,...", "symbols whose bars and ticks are loaded from the history folder (default: none)",
     [](Settings* s, std::string_view v) { return ParseSymbolList(v, &s->history); },
     [](const Settings& s) { return FormatSymbolList(s.history); }},
    {"history_dir", "PATH", "the history folder (default: history in the data folder)",
     [](Settings* s, std::string_view v) {
       if (v.empty()) return false;
       s->history_dir = std::string(v);
       return true;
     },
     [](const Settings& s) { return s.history_dir; }},
    {"cache_dir", "PATH|none", "where daily bars are kept for later terminals (default: this user's cache folder)",
     [](Settings* s, std::string_view v) {
       s->cache_dir = std::string(v);
       return true;
     },
     [](const Settings& s) { return s.cache_dir; }},
    {"trade_allowed", "[0|1]", "trading allowed in the terminal",
     [](Settings* s, std::string_view v) { return ParseFlag(v, &s->trade_allowed); },
     [](const Settings& s) { return FormatFlag(s.trade_allowed); }},
    {"trade_api_disabled", "[0|1]", "order_send through the Python API refused",
     [](Settings* s, std::string_view v) { return ParseFlag(v, &s->tradeapi_disabled); },
     [](const Settings& s) { return FormatFlag(s.tradeapi_disabled); }},
    // The account record's own name for the switch.
    {"tradeapi_disabled", "[0|1]", nullptr,
     [](Settings* s, std::string_view v) { return ParseFlag(v, &s->tradeapi_disabled); },
     [](const Settings&) { return std::string(); }},
};

const Key<AccountConfig> kAccountKeys[] = {
    {"password", "TEXT", "password of the login",
     [](AccountConfig* a, std::string_view v) { return (a->password = wire::Utf8ToUtf16(v)), true; },
     [](const AccountConfig& a) { return wire::Utf16ToUtf8(a.password); }},
    {"server", "TEXT", "trade server name",
     [](AccountConfig* a, std::string_view v) { return (a->server = wire::Utf8ToUtf16(v)), true; },
     [](const AccountConfig& a) { return wire::Utf16ToUtf8(a.server); }},
    {"name", "TEXT", "the client's name",
     [](AccountConfig* a, std::string_view v) { return (a->name = wire::Utf8ToUtf16(v)), true; },
     [](const AccountConfig& a) { return wire::Utf16ToUtf8(a.name); }},
    {"otp", "[0|1]", "needs a one-time password, so a login is refused",
     [](AccountConfig* a, std::string_view v) { return ParseFlag(v, &a->otp); },
     [](const AccountConfig& a) { return a.otp ? std::string("1") : std::string(); }},
    {"balance", "AMOUNT", "starting balance in the account currency, from 0 to 1e12",
     [](AccountConfig* a, std::string_view v) { return ParseAmount(v, kMaxBalance, &a->balance); },
     [](const AccountConfig& a) { return FormatNumber(a.balance); }},
    {"leverage", "N", "1:N leverage, N from 1 to 10000",
     [](AccountConfig* a, std::string_view v) { return ParseRange<std::uint32_t>(v, 1, 10000, &a->leverage); },
     [](const AccountConfig& a) { return std::to_string(a.leverage); }},
    {"commission_per_lot", "AMOUNT", "commission of every deal per lot, in the account currency",
     [](AccountConfig* a, std::string_view v) { return ParseAmount(v, 1e6, &a->commission_per_lot); },
     [](const AccountConfig& a) { return FormatNumber(a.commission_per_lot); }},
    {"commission_percent", "PERCENT", "commission of every deal as a percentage of its value",
     [](AccountConfig* a, std::string_view v) { return ParseAmount(v, 100.0, &a->commission_percent); },
     [](const AccountConfig& a) { return FormatNumber(a.commission_percent); }},
    {"margin_call", "PERCENT", "margin level of the margin call",
     [](AccountConfig* a, std::string_view v) { return ParseAmount(v, 1e6, &a->margin_call); },
     [](const AccountConfig& a) { return FormatNumber(a.margin_call); }},
    {"margin_stop_out", "PERCENT", "margin level below which the most losing position is closed (0: never)",
     [](AccountConfig* a, std::string_view v) { return ParseAmount(v, 1e6, &a->margin_stop_out); },
     [](const AccountConfig& a) { return FormatNumber(a.margin_stop_out); }},
    // Fills.
    {"latency_ms", "MS",
     "market time from sending a market order to its fill at the first tick after it, at most 10000; "
     "a clock that stands still fills at once",
     [](AccountConfig* a, std::string_view v) {
       return ParseRange<std::uint32_t>(v, 0, kMaxLatencyMs, &a->latency_ms);
     },
     [](const AccountConfig& a) { return std::to_string(a.latency_ms); }},
};

template <typename T, std::size_t N>
const Key<T>* FindKey(const Key<T> (&keys)[N], std::string_view name) {
  for (const Key<T>& key : keys) {
    if (name == key.name) return &key;
  }
  return nullptr;
}

// Switches that may stand alone on the command line ("--trade-api-disabled").
bool IsFlagKey(const std::string& name) {
  const Key<Settings>* key = FindKey(kTerminalKeys, name);
  return key != nullptr && IsSwitch(key->shape);
}

// Option args[*i] ("--some-key=value", "--some-key value", or a switch on its
// own): its key with dashes as underscores, and its value. A switch takes the
// next argument only when that is a flag word; alone it means "1".
bool OptionValue(const std::vector<std::string>& args, std::size_t* i, std::string* key, std::string* value) {
  *key = args[*i].substr(2);
  const std::size_t equals = key->find('=');
  if (equals != std::string::npos) {
    *value = key->substr(equals + 1);
    key->resize(equals);
  }
  for (char& c : *key) c = c == '-' ? '_' : c;
  if (equals != std::string::npos) return true;
  bool flag = false;
  if (IsFlagKey(*key) && (*i + 1 == args.size() || !ParseFlag(args[*i + 1], &flag))) {
    *value = "1";
    return true;
  }
  if (*i + 1 == args.size()) return false;
  *value = args[++*i];
  return true;
}

std::string Dashed(const char* name) {
  std::string text = name;
  std::replace(text.begin(), text.end(), '_', '-');
  return text;
}

// "  <left>   <help>", the help aligned in one column.
std::string HelpLine(const std::string& left, const std::string& help) {
  constexpr std::size_t kColumn = 30;
  std::string line = "  " + left;
  line.resize(std::max(kColumn, line.size() + 1), ' ');
  return line + help + "\n";
}

// A key's line: "  <left>   <help> (default: <value>)".
template <typename T, std::size_t N>
std::string HelpLines(const Key<T> (&keys)[N], const T& defaults, const char* prefix, bool dashes) {
  std::string text;
  for (const Key<T>& key : keys) {
    if (key.help == nullptr) continue;
    const std::string value = key.value(defaults);
    text += HelpLine(prefix + (dashes ? Dashed(key.name) : std::string(key.name)) + " " + key.shape,
                     key.help + (value.empty() ? std::string() : " (default: " + value + ")"));
  }
  return text;
}

std::string SymbolHelpLines() {
  std::string text;
  for (const market::SymbolKeyHelp& key : market::SymbolKeyHelps()) {
    text += HelpLine(std::string(key.name) + " " + key.shape, key.text);
  }
  return text;
}

template <typename T, std::size_t N>
std::string IniLines(const Key<T> (&keys)[N], const T& values) {
  std::string text;
  for (const Key<T>& key : keys) {
    const std::string value = key.help != nullptr ? key.value(values) : std::string();
    if (!value.empty()) text += std::string(key.name) + "=" + value + "\n";
  }
  return text;
}

}  // namespace

bool ConfiguredSymbols(const Settings& settings, std::vector<market::SymbolSpec>* symbols, std::string* error) {
  market::SymbolProblem problem;
  if (market::BuildSymbols(settings.symbols, symbols, &problem)) return true;
  *error = "terminal.ini line " + std::to_string(problem.line) + ": " + problem.message;
  return false;
}

bool CheckSettings(const Settings& s, std::string* error) {
  if (s.stepped && !s.clock_start) {
    *error = "stepped=1 needs a set clock (clock=SECONDS): a stepped clock starts there";
    return false;
  }
  if (s.stepped && s.clock_speed != 0) {
    *error = "stepped=1 and clock_speed=" + std::to_string(s.clock_speed) + " exclude each other";
    return false;
  }
  std::vector<market::SymbolSpec> symbols;
  if (!ConfiguredSymbols(s, &symbols, error)) return false;
  for (const std::u16string& name : s.history) {
    if (std::none_of(symbols.begin(), symbols.end(), [&](const market::SymbolSpec& k) { return k.name == name; })) {
      const std::string text = wire::Utf16ToUtf8(name);
      *error = "history names " + text + ", neither a built-in symbol nor defined by a [Symbol " + text + "] section";
      return false;
    }
  }
  return true;
}

std::string Usage() {
  const Settings d;
  return "usage: terminal64 [options] [/portable]\n" + HelpLines(kTerminalKeys, d, "--", true) +
         "  --data-dir PATH             data folder instead of the registered one\n"
         "  --register                  write the data folder and exit\n"
         "  /portable                   register as a portable installation\n"
         "Every option is also a key of the [Terminal] section of config/terminal.ini\n"
         "(--idle-exit 5 is idle_exit=5); the command line wins. Sections [Account <login>]\n"
         "define the accounts, replacing the built-in ones, with the keys:\n" +
         HelpLines(kAccountKeys, AccountConfig{}, "", false) +
         "Sections [Symbol <name>] change a built-in symbol or define a new one (a name of 1 to 29\n"
         "letters, digits, '.', '_' or '-'; it is also the folder of its history), with the keys\n"
         "(a new symbol's defaults by kind: forex/CFD/index/stock):\n" +
         SymbolHelpLines() +
         "Trading hours: currencies and XAUUSD from Sunday 17:00 to Friday 17:00 New York time,\n"
         "KSTL and US500 on weekdays 09:30-16:00 New York time, BTCUSD always. Swaps are charged\n"
         "daily where each symbol's trading day ends (17:00 New York time for currencies and\n"
         "XAUUSD, 16:00 for KSTL and US500, 00:00 UTC for BTCUSD) for each weekday that ended,\n"
         "three times for the symbol's swap_rollover3days.\n"
         "History files: a symbol named in history serves the bars of <history folder>/<SYMBOL>/M1.csv,\n"
         "H1.csv or D1.csv, one of them (time,open,high,low,close,tick_volume,spread,real_volume;\n"
         "time in Unix seconds or YYYY-MM-DD HH:MM[:SS] UTC, the start of the bar's minute, hour or\n"
         "day), and beside M1.csv the ticks of ticks.csv when present (time_msc,bid,ask,last,volume,\n"
         "flags); without them every bar's ticks run open, low, high, close (high first when it\n"
         "closed lower), at seconds 0, 20, 40 and 59 of a minute bar, spread over a longer bar's open\n"
         "minutes; shorter timeframes are the bars of these ticks. A set clock with a clock_speed\n"
         "inside the loaded range replays them as a live market; outside it the symbol is closed.\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "/portable" || arg == "--portable") {
      out->portable = true;
    } else if (arg == "--register") {
      out->register_only = true;
    } else if (arg == "--help" || arg == "-h") {
      out->help = true;
    } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::string key, value;
      if (!OptionValue(args, &i, &key, &value)) {
        *error = "missing value for " + arg;
        return false;
      }
      if (key == "data_dir") {
        out->data_dir = value;
      } else {
        out->settings.emplace_back(key, value);
      }
    } else {
      *error = "unknown argument '" + arg + "'";
      return false;
    }
  }
  return true;
}

bool ApplySetting(Settings* s, std::string_view key, std::string_view value, std::string* error) {
  const Key<Settings>* entry = FindKey(kTerminalKeys, key);
  if (entry == nullptr) {
    *error = "unknown setting '" + std::string(key) + "'";
    return false;
  }
  if (entry->apply(s, value)) return true;
  *error = BadValue(key, value);
  return false;
}

namespace {

// A key of an [Account <login>] or [Symbol <name>] section.
template <typename T, std::size_t N>
bool ApplySectionKey(const Key<T> (&keys)[N], T* target, const IniEntry& entry, std::string* error) {
  const Key<T>* key = FindKey(keys, entry.key);
  if (key == nullptr) {
    *error = "unknown setting '" + entry.key + "' in [" + entry.section + "]";
    return false;
  }
  if (!key->apply(target, entry.value)) {
    *error = BadValue(entry.key, entry.value) + " in [" + entry.section + "]";
    return false;
  }
  return true;
}

// A key of a [Symbol <name>] section; `name` as written in the header. Kept
// as written: BuildSymbols reads the section whole at the end of the file.
bool ApplySymbolKey(Settings* s, std::string_view name, const IniEntry& entry, std::string* error) {
  std::u16string symbol;
  if (!market::ParseSymbolName(name, &symbol)) {
    *error = "bad symbol name [" + entry.section + "]: 1 to 29 letters, digits, '.', '_' or '-'";
    return false;
  }
  auto config =
      std::find_if(s->symbols.begin(), s->symbols.end(), [&](const SymbolConfig& c) { return c.name == symbol; });
  if (config == s->symbols.end()) config = s->symbols.insert(s->symbols.end(), SymbolConfig{symbol, entry.line, {}});
  config->keys.push_back({entry.key, entry.value, entry.line});
  return true;
}

bool ApplyAccountKey(std::map<std::uint64_t, AccountConfig>* accounts, const IniEntry& entry, std::string* error) {
  std::uint64_t login = 0;
  if (entry.section.compare(0, 8, "account ") != 0 || !ParseNumber(std::string_view(entry.section).substr(8), &login) ||
      login == 0) {
    *error = "unknown section [" + entry.section + "]";
    return false;
  }
  AccountConfig& account = (*accounts)[login];
  account.login = login;
  return ApplySectionKey(kAccountKeys, &account, entry, error);
}

}  // namespace

bool ApplyIni(Settings* s, std::string_view text, std::string* error) {
  std::vector<int> ignored;
  const std::vector<IniEntry> entries = ParseIni(text, &ignored);
  if (!ignored.empty()) {
    *error = "terminal.ini line " + std::to_string(ignored.front()) + ": not a [section] or key=value line";
    return false;
  }
  Settings applied = *s;
  std::map<std::uint64_t, AccountConfig> accounts;  // by login: the file's order does not matter
  for (const IniEntry& entry : entries) {
    std::string problem;
    const bool ok = entry.section == "terminal" ? ApplySetting(&applied, entry.key, entry.value, &problem)
                    : entry.section.compare(0, 7, "symbol ") == 0
                        ? ApplySymbolKey(&applied, Trim(std::string_view(entry.section).substr(7)), entry, &problem)
                        : ApplyAccountKey(&accounts, entry, &problem);
    if (!ok) {
      *error = "terminal.ini line " + std::to_string(entry.line) + ": " + problem;
      return false;
    }
  }
  std::vector<market::SymbolSpec> symbols;
  if (!ConfiguredSymbols(applied, &symbols, error)) return false;
  if (!accounts.empty()) {
    applied.accounts.clear();
    for (auto& [login, account] : accounts) applied.accounts.push_back(account);
  }
  *s = std::move(applied);
  return true;
}

bool LoadSettings(const CommandLine& command, std::string_view ini_text, Settings* settings, std::string* error) {
  if (!ApplyIni(settings, ini_text, error)) return false;
  for (const auto& [key, value] : command.settings) {
    if (!ApplySetting(settings, key, value, error)) return false;
  }
  return CheckSettings(*settings, error);
}

std::string DefaultIniText() {
  const Settings d;
  std::string text =
      "; Velmora 5 Simulated Terminal. The command line overrides these keys\n"
      "; (--idle-exit 5 overrides idle_exit); terminal64 --help describes them.\n"
      "[Terminal]\n" +
      IniLines(kTerminalKeys, d);
  for (const AccountConfig& a : d.accounts) {
    text += "\n[Account " + std::to_string(a.login) + "]\n" + IniLines(kAccountKeys, a);
  }
  return text;
}

}  // namespace vl5::terminal
