#include "terminal/model/market/symbol_keys.h"

#include <algorithm>
#include <cmath>

#include "src/wire/market_codes.h"
#include "src/wire/text.h"
#include "terminal/base/value_text.h"
#include "terminal/base/zone_files.h"
#include "terminal/model/market/hours_text.h"

namespace vl5::terminal::market {

namespace {

// A client asks for a symbol by at most 29 characters.
constexpr std::size_t kMaxNameLength = 29;
// Volumes, contract sizes and margins up to a billion; money stays in cents.
constexpr double kMaxQuantity = 1e9;
// Prices are whole points in 64 bits, with room for spreads and sums of them.
constexpr double kMaxPoints = 1e15;

struct Named {
  const char* name;
  std::int64_t value;
};

const Named kCalcModes[] = {{"FOREX", wire::SYMBOL_CALC_MODE_FOREX},
                            {"CFD", wire::SYMBOL_CALC_MODE_CFD},
                            {"CFDINDEX", wire::SYMBOL_CALC_MODE_CFDINDEX},
                            {"EXCH_STOCKS", wire::SYMBOL_CALC_MODE_EXCH_STOCKS}};
const Named kTradeModes[] = {{"DISABLED", wire::SYMBOL_TRADE_MODE_DISABLED},
                             {"LONGONLY", wire::SYMBOL_TRADE_MODE_LONGONLY},
                             {"SHORTONLY", wire::SYMBOL_TRADE_MODE_SHORTONLY},
                             {"CLOSEONLY", wire::SYMBOL_TRADE_MODE_CLOSEONLY},
                             {"FULL", wire::SYMBOL_TRADE_MODE_FULL}};
const Named kExecutionModes[] = {{"REQUEST", wire::SYMBOL_TRADE_EXECUTION_REQUEST},
                                 {"INSTANT", wire::SYMBOL_TRADE_EXECUTION_INSTANT},
                                 {"MARKET", wire::SYMBOL_TRADE_EXECUTION_MARKET},
                                 {"EXCHANGE", wire::SYMBOL_TRADE_EXECUTION_EXCHANGE}};
const Named kSwapModes[] = {{"DISABLED", wire::SYMBOL_SWAP_MODE_DISABLED}, {"POINTS", wire::SYMBOL_SWAP_MODE_POINTS}};
const Named kDays[] = {{"SUNDAY", wire::DAY_OF_WEEK_SUNDAY},     {"MONDAY", wire::DAY_OF_WEEK_MONDAY},
                       {"TUESDAY", wire::DAY_OF_WEEK_TUESDAY},   {"WEDNESDAY", wire::DAY_OF_WEEK_WEDNESDAY},
                       {"THURSDAY", wire::DAY_OF_WEEK_THURSDAY}, {"FRIDAY", wire::DAY_OF_WEEK_FRIDAY},
                       {"SATURDAY", wire::DAY_OF_WEEK_SATURDAY}};
const Named kFillings[] = {{"FOK", wire::SYMBOL_FILLING_FOK}, {"IOC", wire::SYMBOL_FILLING_IOC}};
const Named kExpirations[] = {{"GTC", wire::SYMBOL_EXPIRATION_GTC},
                              {"DAY", wire::SYMBOL_EXPIRATION_DAY},
                              {"SPECIFIED", wire::SYMBOL_EXPIRATION_SPECIFIED},
                              {"SPECIFIED_DAY", wire::SYMBOL_EXPIRATION_SPECIFIED_DAY}};
const Named kOrderKinds[] = {{"MARKET", wire::SYMBOL_ORDER_MARKET},  {"LIMIT", wire::SYMBOL_ORDER_LIMIT},
                             {"STOP", wire::SYMBOL_ORDER_STOP},      {"STOP_LIMIT", wire::SYMBOL_ORDER_STOP_LIMIT},
                             {"SL", wire::SYMBOL_ORDER_SL},          {"TP", wire::SYMBOL_ORDER_TP},
                             {"CLOSEBY", wire::SYMBOL_ORDER_CLOSEBY}};

std::string Upper(std::string_view text) {
  std::string upper(Trim(text));
  for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return upper;
}

// A name of the table, with or without its prefix ("SYMBOL_CALC_MODE_CFD" or
// "cfd"), or one of its numbers.
template <std::size_t N>
bool ParseNamed(std::string_view text, const Named (&names)[N], const char* prefix, std::int64_t* value) {
  std::string word = Upper(text);
  if (word.rfind(prefix, 0) == 0) word.erase(0, std::string_view(prefix).size());
  for (const Named& n : names) {
    std::int64_t number = -1;
    if (word == n.name || (ParseNumber(std::string_view(word), &number) && number == n.value)) {
      *value = n.value;
      return true;
    }
  }
  return false;
}

// Names joined by '|' ("FOK|IOC"), or the number of the bits.
template <std::size_t N>
bool ParseBits(std::string_view text, const Named (&names)[N], const char* prefix, std::int32_t* value) {
  std::int64_t all = 0;
  for (const Named& n : names) all |= n.value;
  std::int64_t bits = 0;
  if (ParseNumber(Trim(text), &bits)) {
    if (bits < 0 || (bits & ~all) != 0) return false;
    *value = static_cast<std::int32_t>(bits);
    return true;
  }
  while (true) {
    const std::size_t bar = text.find('|');
    std::int64_t bit = 0;
    if (!ParseNamed(text.substr(0, bar), names, prefix, &bit)) return false;
    bits |= bit;
    if (bar == std::string_view::npos) break;
    text.remove_prefix(bar + 1);
  }
  *value = static_cast<std::int32_t>(bits);
  return true;
}

template <typename T, std::size_t N>
bool SetNamed(std::string_view text, const Named (&names)[N], const char* prefix, T* value) {
  std::int64_t parsed = 0;
  if (!ParseNamed(text, names, prefix, &parsed)) return false;
  *value = static_cast<T>(parsed);
  return true;
}

// Three letters, upper-cased.
bool ParseCurrency(std::string_view text, std::u16string* currency) {
  const std::string upper = Upper(text);
  if (upper.size() != 3 || !std::all_of(upper.begin(), upper.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
    return false;
  }
  *currency = wire::Utf8ToUtf16(upper);
  return true;
}

// Text of at most `units` UTF-16 units: the record's field less its NUL.
bool ParseText(std::string_view text, std::size_t units, std::u16string* out) {
  std::u16string parsed = wire::Utf8ToUtf16(text);
  if (parsed.size() > units || parsed.find(u'\0') != std::u16string::npos) return false;
  *out = std::move(parsed);
  return true;
}

bool ParsePositive(std::string_view text, double* value) {
  double parsed = 0.0;
  if (!ParseRange(text, 0.0, kMaxQuantity, &parsed) || parsed == 0.0) return false;
  *value = parsed;
  return true;
}

bool ParseOptionalRange(std::string_view text, double high, std::optional<double>* value) {
  double parsed = 0.0;
  if (!ParseRange(text, 0.0, high, &parsed)) return false;
  *value = parsed;
  return true;
}

// "none", "fixed N", "random LOW-HIGH" or "book N", in points.
bool ParseSlippage(std::string_view text, Slippage* value) {
  const std::string lower = Lower(Trim(text));
  const std::size_t space = lower.find(' ');
  const std::string model = lower.substr(0, space);
  const std::string_view rest =
      space == std::string::npos ? std::string_view() : Trim(std::string_view(lower).substr(space + 1));
  Slippage parsed;
  if (model == "none") {
    if (!rest.empty()) return false;
  } else if (model == "fixed" || model == "book") {
    parsed.model = model == "fixed" ? Slippage::Model::kFixed : Slippage::Model::kBook;
    if (!ParseRange<std::int32_t>(rest, 0, kMaxSlippagePoints, &parsed.low)) return false;
    parsed.high = parsed.low;
  } else if (model == "random") {
    parsed.model = Slippage::Model::kRandom;
    const std::size_t dash = rest.find('-');
    if (dash == std::string_view::npos ||
        !ParseRange<std::int32_t>(Trim(rest.substr(0, dash)), 0, kMaxSlippagePoints, &parsed.low) ||
        !ParseRange<std::int32_t>(Trim(rest.substr(dash + 1)), parsed.low, kMaxSlippagePoints, &parsed.high)) {
      return false;
    }
  } else {
    return false;
  }
  *value = parsed;
  return true;
}

// The zone of the hours and the rollover. The symbol's windows move into it,
// whichever of timezone and hours comes first.
bool SetZone(std::string_view text, SymbolSpec* spec) {
  std::string why;
  std::shared_ptr<const TimeZone> zone = LoadTimeZone(Trim(text), &why);
  if (zone == nullptr) return false;
  spec->hours = TradingHours(spec->hours.windows(), std::move(zone));
  return true;
}

// Weekly windows in the symbol's zone, `always`, or `data`: open wherever
// the loaded history has bars.
bool SetHours(std::string_view text, SymbolSpec* spec) {
  HoursText parsed;
  std::string why;
  if (!ParseHoursText(text, &parsed, &why)) return false;
  spec->hours_from_data = parsed.from_data;
  if (!parsed.from_data) spec->hours = TradingHours(std::move(parsed.windows), spec->hours.shared_zone());
  return true;
}

// Why a value of a key with reasons of its own was refused; "" for the others.
std::string Why(std::string_view key, std::string_view value) {
  std::string why;
  if (key == "timezone") {
    LoadTimeZone(Trim(value), &why);
  } else if (key == "hours") {
    HoursText hours;
    ParseHoursText(value, &hours, &why);
  }
  return why.empty() ? why : ": " + why;
}

struct Key {
  const char* name;
  const char* shape;  // of the value, in the help and in a refusal
  const char* help;   // with the default a new symbol gets
  bool (*apply)(SymbolSpec*, std::string_view);
};

// Every key of a section, in the help's order. Keys named after a
// symbol_info field set that field; price, volatility and spread shape the
// prices generated for a symbol without a history.
const Key kKeys[] = {
    {"trade_calc_mode", "FOREX|CFD|CFDINDEX|EXCH_STOCKS",
     "margin and profit, or 0, 2, 3, 32; needed by a new symbol, whose defaults follow it",
     [](SymbolSpec* s, std::string_view v) { return SetNamed(v, kCalcModes, "SYMBOL_CALC_MODE_", &s->calc_mode); }},
    {"description", "TEXT", "up to 63 characters (default: the name)",
     [](SymbolSpec* s, std::string_view v) { return ParseText(v, 63, &s->description); }},
    {"path", "TEXT", "group path, up to 127 characters (default: Custom\\<name>)",
     [](SymbolSpec* s, std::string_view v) { return ParseText(v, 127, &s->path); }},
    {"category", "TEXT", "up to 63 characters (default: none)",
     [](SymbolSpec* s, std::string_view v) { return ParseText(v, 63, &s->category); }},
    {"exchange", "TEXT", "up to 63 characters (default: none)",
     [](SymbolSpec* s, std::string_view v) { return ParseText(v, 63, &s->exchange); }},
    {"digits", "0..8", "decimal places of prices (default: 5/2/2/2)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, 0, 8, &s->digits); }},
    {"trade_contract_size", "SIZE", "units of one lot, above 0 (default: 100000/1/1/1)",
     [](SymbolSpec* s, std::string_view v) { return ParsePositive(v, &s->contract_size); }},
    {"currency_base", "XXX", "three letters (default: USD)",
     [](SymbolSpec* s, std::string_view v) { return ParseCurrency(v, &s->currency_base); }},
    {"currency_profit", "XXX", "profits are in it; USD or a currency with a USD<XXX> or <XXX>USD symbol (default: USD)",
     [](SymbolSpec* s, std::string_view v) { return ParseCurrency(v, &s->currency_profit); }},
    {"currency_margin", "XXX", "as currency_profit (default: currency_base for forex, else currency_profit)",
     [](SymbolSpec* s, std::string_view v) { return ParseCurrency(v, &s->currency_margin); }},
    {"volume_min", "LOTS", "smallest volume of a deal, above 0 (default: 0.01/0.01/0.1/1)",
     [](SymbolSpec* s, std::string_view v) { return ParsePositive(v, &s->volume_min); }},
    {"volume_max", "LOTS", "largest volume of a deal, at least volume_min (default: 100/100/500/10000)",
     [](SymbolSpec* s, std::string_view v) { return ParsePositive(v, &s->volume_max); }},
    {"volume_step", "LOTS", "volumes are multiples of it, above 0 (default: 0.01/0.01/0.1/1)",
     [](SymbolSpec* s, std::string_view v) { return ParsePositive(v, &s->volume_step); }},
    {"volume_limit", "LOTS", "reported in symbol_info; 0: no limit (default: 0)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, 0.0, kMaxQuantity, &s->volume_limit); }},
    {"trade_stops_level", "POINTS", "least distance of stops and pending prices, 0 to 100000 (default: 0)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, 0, 100000, &s->stops_level); }},
    {"trade_freeze_level", "POINTS", "reported in symbol_info, 0 to 100000 (default: 0)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, 0, 100000, &s->freeze_level); }},
    {"trade_mode", "DISABLED|LONGONLY|SHORTONLY|CLOSEONLY|FULL", "which deals are allowed, or 0 to 4 (default: FULL)",
     [](SymbolSpec* s, std::string_view v) { return SetNamed(v, kTradeModes, "SYMBOL_TRADE_MODE_", &s->trade_mode); }},
    {"trade_exemode", "REQUEST|INSTANT|MARKET|EXCHANGE", "reported execution mode, or 0 to 3 (default: MARKET)",
     [](SymbolSpec* s, std::string_view v) {
       return SetNamed(v, kExecutionModes, "SYMBOL_TRADE_EXECUTION_", &s->execution_mode);
     }},
    {"filling_mode", "FOK|IOC",
     "filling policies allowed besides RETURN, names joined by | or 0 to 3 (default: FOK|IOC)",
     [](SymbolSpec* s, std::string_view v) { return ParseBits(v, kFillings, "SYMBOL_FILLING_", &s->filling_mode); }},
    {"expiration_mode", "GTC|DAY|SPECIFIED|SPECIFIED_DAY",
     "expirations allowed, joined by | or 0 to 15 (default: all four)",
     [](SymbolSpec* s, std::string_view v) {
       return ParseBits(v, kExpirations, "SYMBOL_EXPIRATION_", &s->expiration_mode);
     }},
    {"order_mode", "MARKET|LIMIT|STOP|STOP_LIMIT|SL|TP|CLOSEBY",
     "order kinds allowed, joined by | or 0 to 127 (default: all seven)",
     [](SymbolSpec* s, std::string_view v) { return ParseBits(v, kOrderKinds, "SYMBOL_ORDER_", &s->order_mode); }},
    {"swap_mode", "DISABLED|POINTS", "swaps charged in points at each rollover, or 0, 1 (default: POINTS)",
     [](SymbolSpec* s, std::string_view v) { return SetNamed(v, kSwapModes, "SYMBOL_SWAP_MODE_", &s->swap_mode); }},
    {"swap_long", "POINTS", "swap of a long position per lot and day; 0: none (default: 0)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, -kMaxQuantity, kMaxQuantity, &s->swap_long); }},
    {"swap_short", "POINTS", "swap of a short position per lot and day; 0: none (default: 0)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, -kMaxQuantity, kMaxQuantity, &s->swap_short); }},
    {"swap_rollover3days", "DAY", "day charged three times, SUNDAY to SATURDAY or 0 to 6 (default: WEDNESDAY)",
     [](SymbolSpec* s, std::string_view v) { return SetNamed(v, kDays, "DAY_OF_WEEK_", &s->swap_rollover3days); }},
    {"margin_initial", "AMOUNT",
     "margin of one lot in currency_margin; 0: from trade_calc_mode and the leverage (default: 0)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, 0.0, kMaxQuantity, &s->margin_initial); }},
    {"margin_maintenance", "AMOUNT", "reported in symbol_info (default: 0)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, 0.0, kMaxQuantity, &s->margin_maintenance); }},
    {"margin_hedged", "AMOUNT", "reported in symbol_info (default: 0)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, 0.0, kMaxQuantity, &s->margin_hedged); }},
    {"select", "[0|1]", "in the market watch at start (default: 1)",
     [](SymbolSpec* s, std::string_view v) { return ParseFlag(v, &s->selected); }},
    {"commission_per_lot", "AMOUNT", "replaces the account's for deals in this symbol (default: the account's)",
     [](SymbolSpec* s, std::string_view v) { return ParseOptionalRange(v, 1e6, &s->commission_per_lot); }},
    {"commission_percent", "PERCENT", "replaces the account's for deals in this symbol (default: the account's)",
     [](SymbolSpec* s, std::string_view v) { return ParseOptionalRange(v, 100.0, &s->commission_percent); }},
    {"price", "PRICE", "without a history: the level generated prices wander around (default: 1/100/1000/100)",
     [](SymbolSpec* s, std::string_view v) { return ParsePositive(v, &s->base_price); }},
    {"volatility", "FRACTION",
     "without a history: daily standard deviation of the log price, 0 to 0.5 (default: 0.006/0.01/0.011/0.018)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, 0.0, 0.5, &s->daily_volatility); }},
    {"spread", "POINTS", "without a history: the smallest spread, 0 to 100000 (default: 10/20/50/2)",
     [](SymbolSpec* s, std::string_view v) { return ParseRange(v, 0, 100000, &s->spread_points); }},
    // Trading hours.
    {"timezone", "ZONE",
     "IANA zone of the hours and the rollover, e.g. America/New_York (default: UTC; a built-in symbol's exchange's)",
     [](SymbolSpec* s, std::string_view v) { return SetZone(v, s); }},
    {"hours", "HOURS|always|data",
     "weekly hours in that zone, e.g. Mon-Fri 09:30-16:00 or Sun 17:00 - Fri 17:00, windows joined by commas; "
     "data: open wherever the history has bars (default: always; a built-in symbol its own)",
     [](SymbolSpec* s, std::string_view v) { return SetHours(v, s); }},
    // Fills (trading/fills.h).
    {"book_fills", "[0|1]",
     "market orders walk the depth of market: FOK all or nothing, IOC the rest cancelled, RETURN the rest "
     "left as a limit order (default: 1 for exchange calculation modes, else 0)",
     [](SymbolSpec* s, std::string_view v) {
       bool flag = false;
       if (!ParseFlag(v, &flag)) return false;
       s->book_fills = flag;
       return true;
     }},
    {"slippage", "none|fixed N|random LOW-HIGH|book N",
     "points that market orders, stop orders and stop losses lose: always N, drawn from the seed, or N for an "
     "order as large as the book's side, in proportion (default: none)",
     [](SymbolSpec* s, std::string_view v) { return ParseSlippage(v, &s->slippage); }},
};

const Key* FindKey(std::string_view name) {
  for (const Key& key : kKeys) {
    if (name == key.name) return &key;
  }
  return nullptr;
}

std::string Where(const SymbolConfig& section) { return " in [Symbol " + wire::Utf16ToUtf8(section.name) + "]"; }

bool Fail(const SymbolConfig& section, int line, std::string message, SymbolProblem* problem) {
  problem->line = line;
  problem->message = std::move(message) + Where(section);
  return false;
}

// What the keys say together, at the line of the last key involved.
bool CheckTogether(const SymbolConfig& section, const SymbolSpec& spec, SymbolProblem* problem) {
  auto last = [&](std::string_view a, std::string_view b) { return std::max(LineOf(section, a), LineOf(section, b)); };
  if (spec.volume_min > spec.volume_max) {
    return Fail(section, last("volume_min", "volume_max"),
                "volume_min " + FormatNumber(spec.volume_min) + " exceeds volume_max " + FormatNumber(spec.volume_max),
                problem);
  }
  if (spec.volume_limit != 0.0 && spec.volume_limit < spec.volume_min) {
    return Fail(section, last("volume_limit", "volume_min"), "volume_limit is below volume_min", problem);
  }
  if (spec.base_price * spec.Scale() > kMaxPoints) {
    return Fail(section, last("price", "digits"), "price has too many points for these digits", problem);
  }
  return true;
}

}  // namespace

bool ParseSymbolName(std::string_view text, std::u16string* name) {
  const std::string upper = Upper(text);
  auto plain = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
  if (upper.empty() || upper.size() > kMaxNameLength || !plain(upper.front()) || upper.back() == '.' ||
      !std::all_of(upper.begin(), upper.end(), [&](char c) { return plain(c) || c == '.' || c == '_' || c == '-'; })) {
    return false;
  }
  // Windows opens a device for these names, whatever follows the first dot.
  const std::string stem = upper.substr(0, upper.find('.'));
  for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
    if (stem == device) return false;
  }
  if (stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) && stem[3] >= '0' &&
      stem[3] <= '9') {
    return false;
  }
  *name = wire::Utf8ToUtf16(upper);
  return true;
}

int LineOf(const SymbolConfig& section, std::string_view key) {
  int line = section.line;
  for (const SymbolKeyLine& entry : section.keys) {
    if (entry.key == key) line = entry.line;
  }
  return line;
}

bool SectionKind(const SymbolConfig& section, std::uint32_t* calc_mode, SymbolProblem* problem) {
  SymbolSpec scratch;
  bool given = false;
  for (const SymbolKeyLine& entry : section.keys) {
    if (entry.key != "trade_calc_mode") continue;
    if (!FindKey(entry.key)->apply(&scratch, entry.value)) {
      return Fail(section, entry.line, "bad value '" + entry.value + "' for trade_calc_mode", problem);
    }
    given = true;
  }
  if (!given) {
    return Fail(section, section.line,
                "trade_calc_mode (FOREX, CFD, CFDINDEX or EXCH_STOCKS) missing for the new symbol", problem);
  }
  *calc_mode = scratch.calc_mode;
  return true;
}

bool ApplySymbolKeys(const SymbolConfig& section, SymbolSpec* spec, SymbolProblem* problem) {
  for (const SymbolKeyLine& entry : section.keys) {
    const Key* key = FindKey(entry.key);
    if (key == nullptr) return Fail(section, entry.line, "unknown setting '" + entry.key + "'", problem);
    if (!key->apply(spec, entry.value)) {
      Fail(section, entry.line, "bad value '" + entry.value + "' for " + entry.key + " (" + key->shape + ")", problem);
      problem->message += Why(entry.key, entry.value);
      return false;
    }
  }
  return CheckTogether(section, *spec, problem);
}

bool CheckCurrencies(const SymbolConfig& section, const SymbolSpec& spec, const std::vector<SymbolSpec>& all,
                     SymbolProblem* problem) {
  auto named = [&](const std::u16string& name) {
    return std::any_of(all.begin(), all.end(), [&](const SymbolSpec& s) { return s.name == name; });
  };
  const std::pair<const char*, const std::u16string*> currencies[] = {{"currency_profit", &spec.currency_profit},
                                                                      {"currency_margin", &spec.currency_margin}};
  for (const auto& [key, currency] : currencies) {
    if (*currency == u"USD" || named(u"USD" + *currency) || named(*currency + u"USD")) continue;
    const std::string text = wire::Utf16ToUtf8(*currency);
    return Fail(section, LineOf(section, key),
                std::string(key) + " " + text + " has no USD" + text + " or " + text +
                    "USD symbol to value it in the account currency USD",
                problem);
  }
  return true;
}

std::vector<SymbolKeyHelp> SymbolKeyHelps() {
  std::vector<SymbolKeyHelp> helps;
  for (const Key& key : kKeys) helps.push_back({key.name, key.shape, key.help});
  return helps;
}

}  // namespace vl5::terminal::market
