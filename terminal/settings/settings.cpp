#include "terminal/settings/settings.h"

#include <charconv>
#include <map>

#include "src/wire/text.h"

namespace vl5::terminal {

namespace {

constexpr std::uint32_t kMinMaxbars = 1000;
constexpr std::uint32_t kMaxMaxbars = 20000000;  // 60-byte records: keeps a reply under 2^32 bytes
constexpr std::uint32_t kMaxConnectDelay = 60000;
// An hour of market per real second: pending orders are evaluated over every
// tick that passed, so a faster clock would make idle gaps costly.
constexpr std::uint32_t kMaxClockSpeed = 3600;

template <typename T>
bool ParseNumber(std::string_view text, T* value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end && !text.empty();
}

bool ParseFlag(std::string_view text, bool* value) {
  const std::string lower = Lower(text);
  if (lower == "1" || lower == "true" || lower == "yes" || lower == "on") {
    *value = true;
  } else if (lower == "0" || lower == "false" || lower == "no" || lower == "off") {
    *value = false;
  } else {
    return false;
  }
  return true;
}

// Switches that may stand alone on the command line ("--trade-api-disabled").
bool IsFlagKey(const std::string& key) {
  return key == "trade_allowed" || key == "tradeapi_disabled" || key == "trade_api_disabled";
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

template <typename T>
bool ParseRange(std::string_view text, T low, T high, T* value) {
  T parsed{};
  if (!ParseNumber(text, &parsed) || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

bool ParseClock(std::string_view text, std::optional<std::int64_t>* clock) {
  if (Lower(text) == "live") {
    clock->reset();
    return true;
  }
  std::int64_t seconds = 0;
  if (!ParseNumber(text, &seconds) || seconds < 0) return false;
  *clock = seconds;
  return true;
}

bool ApplyAccountKey(AccountConfig* account, const std::string& key, const std::string& value) {
  if (key == "password") {
    account->password = wire::Utf8ToUtf16(value);
  } else if (key == "server") {
    account->server = wire::Utf8ToUtf16(value);
  } else if (key == "name") {
    account->name = wire::Utf8ToUtf16(value);
  } else if (key == "otp") {
    return ParseFlag(value, &account->otp);
  } else if (key == "balance") {
    return ParseNumber(value, &account->balance) && account->balance >= 0.0;
  } else if (key == "leverage") {
    return ParseRange<std::uint32_t>(value, 1, 10000, &account->leverage);
  } else {
    return false;
  }
  return true;
}

}  // namespace

const char kUsage[] =
    "usage: terminal64 [options] [/portable]\n"
    "  --seed N              market seed (same seed, same prices)\n"
    "  --clock live|SECONDS  system clock, or frozen at a Unix time\n"
    "  --clock-speed N       a set clock runs N times real time (0: frozen)\n"
    "  --build N             build number reported to clients\n"
    "  --idle-exit SECONDS   stop after this long without clients (0: never)\n"
    "  --connect-delay MS    how long a login stays \"connecting\"\n"
    "  --maxbars N           most bars or ticks in one reply\n"
    "  --login N             account logged in at start\n"
    "  --trade-allowed [0|1]       trading allowed in the terminal\n"
    "  --trade-api-disabled [0|1]  order_send through the Python API refused\n"
    "  --data-dir PATH       data folder instead of the registered one\n"
    "  --register            write the data folder and exit\n"
    "  /portable             register as a portable installation\n";

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
  bool ok = false;
  if (key == "seed") {
    ok = ParseNumber(value, &s->seed);
  } else if (key == "clock") {
    ok = ParseClock(value, &s->clock_start);
  } else if (key == "clock_speed") {
    ok = ParseRange<std::uint32_t>(value, 0, kMaxClockSpeed, &s->clock_speed);
  } else if (key == "build") {
    ok = ParseRange<std::uint32_t>(value, 1, 0x7FFFFFFF, &s->build);
  } else if (key == "idle_exit") {
    ok = ParseNumber(value, &s->idle_exit);
  } else if (key == "connect_delay") {
    ok = ParseRange<std::uint32_t>(value, 0, kMaxConnectDelay, &s->connect_delay);
  } else if (key == "maxbars") {
    ok = ParseRange(value, kMinMaxbars, kMaxMaxbars, &s->maxbars);
  } else if (key == "login") {
    ok = ParseNumber(value, &s->login);
  } else if (key == "trade_allowed") {
    ok = ParseFlag(value, &s->trade_allowed);
  } else if (key == "trade_api_disabled" || key == "tradeapi_disabled") {  // the second: the record's name
    ok = ParseFlag(value, &s->tradeapi_disabled);
  } else {
    *error = "unknown setting '" + std::string(key) + "'";
    return false;
  }
  if (!ok) *error = "bad value '" + std::string(value) + "' for " + std::string(key);
  return ok;
}

void ApplyIni(Settings* s, const std::vector<IniEntry>& entries, std::vector<std::string>* warnings) {
  std::map<std::uint64_t, AccountConfig> accounts;  // by login: the file's order does not matter
  for (const IniEntry& entry : entries) {
    std::string error;
    const std::string where = "terminal.ini line " + std::to_string(entry.line) + ": ";
    if (entry.section == "terminal") {
      if (!ApplySetting(s, entry.key, entry.value, &error)) warnings->push_back(where + error);
      continue;
    }
    std::uint64_t login = 0;
    if (entry.section.compare(0, 8, "account ") != 0 ||
        !ParseNumber(std::string_view(entry.section).substr(8), &login) || login == 0) {
      warnings->push_back(where + "unknown section [" + entry.section + "]");
      continue;
    }
    AccountConfig& account = accounts[login];
    account.login = login;
    if (!ApplyAccountKey(&account, entry.key, entry.value)) {
      warnings->push_back(where + "bad account setting '" + entry.key + "'");
    }
  }
  if (accounts.empty()) return;
  s->accounts.clear();
  for (auto& [login, account] : accounts) s->accounts.push_back(account);
}

std::string DefaultIniText() {
  const Settings d;
  std::string text =
      "; Velmora 5 Simulated Terminal. The command line overrides these keys\n"
      "; (--idle-exit 5 overrides idle_exit). clock: live or a Unix time;\n"
      "; clock_speed: 0 keeps a set clock still, N runs it N times real time.\n"
      "[Terminal]\n";
  text += "seed=" + std::to_string(d.seed) + "\n";
  text += "clock=live\n";
  text += "clock_speed=0\n";
  text += "build=" + std::to_string(d.build) + "\n";
  text += "idle_exit=" + std::to_string(d.idle_exit) + "\n";
  text += "connect_delay=" + std::to_string(d.connect_delay) + "\n";
  text += "maxbars=" + std::to_string(d.maxbars) + "\n";
  text += "login=" + std::to_string(d.login) + "\n";
  text += "trade_allowed=1\n";
  text += "trade_api_disabled=0\n";
  for (const AccountConfig& a : d.accounts) {
    text += "\n[Account " + std::to_string(a.login) + "]\n";
    text += "password=" + wire::Utf16ToUtf8(a.password) + "\n";
    text += "server=" + wire::Utf16ToUtf8(a.server) + "\n";
    text += "name=" + wire::Utf16ToUtf8(a.name) + "\n";
    text += "balance=" + std::to_string(static_cast<long long>(a.balance)) + "\n";
    text += "leverage=" + std::to_string(a.leverage) + "\n";
    if (a.otp) text += "otp=1\n";
  }
  return text;
}

}  // namespace vl5::terminal
