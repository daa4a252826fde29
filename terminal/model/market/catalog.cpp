#include "terminal/model/market/catalog.h"

#include <algorithm>

#include "terminal/base/calendar.h"
#include "terminal/base/zone_files.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::market {

namespace {

std::int64_t MonthStart(int year, int month) { return DaysFromCivil(year, month, 1) * 86400; }

// Currencies and metals trade from Sunday to Friday at 17:00 New York time;
// US shares and the US index during the exchange's regular hours, 09:30 to
// 16:00 New York time; both follow New York's summer time.
constexpr std::int64_t kFxDayEnd = 17 * 60;
constexpr std::int64_t kExchangeOpen = 9 * 60 + 30;
constexpr std::int64_t kExchangeClose = 16 * 60;

std::shared_ptr<const TimeZone> NewYork() { return BuiltInZone("America/New_York"); }

// What every symbol of this terminal shares: full trading, market execution,
// all order kinds, both filling policies and every expiration mode.
SymbolSpec Common(std::u16string name, std::u16string description, std::u16string group) {
  SymbolSpec s;
  s.path = group + u"\\" + name;
  s.name = std::move(name);
  s.description = std::move(description);
  s.trade_mode = wire::SYMBOL_TRADE_MODE_FULL;
  s.execution_mode = wire::SYMBOL_TRADE_EXECUTION_MARKET;
  s.swap_mode = wire::SYMBOL_SWAP_MODE_POINTS;
  s.swap_rollover3days = wire::DAY_OF_WEEK_WEDNESDAY;
  s.filling_mode = wire::SYMBOL_FILLING_FOK | wire::SYMBOL_FILLING_IOC;
  s.expiration_mode = wire::SYMBOL_EXPIRATION_GTC | wire::SYMBOL_EXPIRATION_DAY | wire::SYMBOL_EXPIRATION_SPECIFIED |
                      wire::SYMBOL_EXPIRATION_SPECIFIED_DAY;
  s.order_mode = wire::SYMBOL_ORDER_MARKET | wire::SYMBOL_ORDER_LIMIT | wire::SYMBOL_ORDER_STOP |
                 wire::SYMBOL_ORDER_STOP_LIMIT | wire::SYMBOL_ORDER_SL | wire::SYMBOL_ORDER_TP |
                 wire::SYMBOL_ORDER_CLOSEBY;
  return s;
}

struct Quote {
  int digits;
  double price;
  double volatility;  // daily, of the log price
  int spread;         // points
};

SymbolSpec Forex(std::u16string base, std::u16string quote, std::u16string description, std::u16string group, Quote q,
                 bool selected) {
  SymbolSpec s = Common(base + quote, std::move(description), u"Forex\\" + group);
  s.currency_base = s.currency_margin = std::move(base);
  s.currency_profit = std::move(quote);
  s.category = u"Forex";
  s.digits = q.digits;
  s.base_price = q.price;
  s.daily_volatility = q.volatility;
  s.spread_points = q.spread;
  s.spread_range = 3;
  s.activity = 8;
  s.history_start = MonthStart(2000, 1);
  s.calc_mode = wire::SYMBOL_CALC_MODE_FOREX;
  s.contract_size = 100000.0;
  s.volume_min = 0.01;
  s.volume_max = 100.0;
  s.volume_step = 0.01;
  s.margin_hedged = 50000.0;
  s.swap_long = -6.5;
  s.swap_short = 1.2;
  s.hours = TradingHours::FiveDayWeek(kFxDayEnd, NewYork());
  s.selected = selected;
  return s;
}

SymbolSpec Cfd(std::u16string name, std::u16string description, std::u16string group, Quote q) {
  SymbolSpec s = Common(std::move(name), std::move(description), std::move(group));
  s.currency_base = s.currency_profit = s.currency_margin = u"USD";
  s.digits = q.digits;
  s.base_price = q.price;
  s.daily_volatility = q.volatility;
  s.spread_points = q.spread;
  s.calc_mode = wire::SYMBOL_CALC_MODE_CFD;
  return s;
}

SymbolSpec Gold() {
  SymbolSpec s = Cfd(u"XAUUSD", u"Gold vs US Dollar", u"Metals", {2, 2000.0, 0.009, 20});
  s.currency_base = u"XAU";
  s.category = u"Metals";
  s.spread_range = 4;
  s.activity = 10;
  s.history_start = MonthStart(2000, 1);
  s.contract_size = 100.0;
  s.volume_max = 50.0;
  s.margin_hedged = 50.0;
  s.swap_long = -25.0;
  s.swap_short = 8.0;
  s.hours = TradingHours::FiveDayWeek(kFxDayEnd, NewYork());
  s.selected = true;
  return s;
}

SymbolSpec Index() {
  SymbolSpec s = Cfd(u"US500", u"US 500 Cash Index", u"Indices\\US", {2, 4500.0, 0.011, 50});
  s.category = u"Indices";
  s.activity = 9;
  s.history_start = MonthStart(2005, 1);
  s.contract_size = 1.0;
  s.volume_min = 0.1;
  s.volume_max = 500.0;
  s.volume_step = 0.1;
  s.margin_hedged = 0.5;
  s.swap_long = -12.0;
  s.swap_short = -3.0;
  s.hours = TradingHours::Weekdays(kExchangeOpen, kExchangeClose, NewYork());
  return s;
}

SymbolSpec Bitcoin() {
  SymbolSpec s = Cfd(u"BTCUSD", u"Bitcoin vs US Dollar", u"Crypto", {2, 40000.0, 0.03, 1500});
  s.currency_base = u"BTC";
  s.category = u"Crypto";
  s.spread_range = 5;
  s.activity = 12;
  s.history_start = MonthStart(2015, 1);
  s.contract_size = 1.0;
  s.volume_max = 10.0;
  s.margin_hedged = 0.5;
  s.swap_long = -20.0;
  s.swap_short = -20.0;
  s.swap_rollover3days = wire::DAY_OF_WEEK_FRIDAY;
  s.selected = true;
  return s;
}

// An exchange-traded share: each tick is a trade with its last price and volume.
SymbolSpec Stock() {
  SymbolSpec s = Cfd(u"KSTL", u"Kestrel Motors Inc.", u"Stocks\\US", {2, 185.0, 0.018, 2});
  s.category = u"Stocks";
  s.exchange = u"NASDAQ";
  s.spread_range = 1;
  s.activity = 5;
  s.trades = true;
  s.history_start = MonthStart(2005, 1);
  s.contract_size = 1.0;
  s.volume_min = 1.0;
  s.volume_max = 10000.0;
  s.volume_step = 1.0;
  s.margin_hedged = 0.5;
  s.swap_long = -4.0;
  s.swap_short = -2.0;
  s.hours = TradingHours::Weekdays(kExchangeOpen, kExchangeClose, NewYork());
  return s;
}

// A symbol a [Symbol] section defines, before its keys: the defaults of its
// kind. The margin currency stays empty until the keys have set the others.
SymbolSpec NewSymbol(const std::u16string& name, std::uint32_t calc_mode) {
  SymbolSpec s = Common(name, name, u"Custom");
  s.custom = true;
  s.selected = true;
  s.calc_mode = calc_mode;
  s.currency_base = s.currency_profit = u"USD";
  s.currency_margin.clear();
  s.history_start = MonthStart(2005, 1);
  s.digits = 2;
  s.contract_size = 1.0;
  s.volume_min = s.volume_step = 0.01;
  s.volume_max = 100.0;
  switch (calc_mode) {
    case wire::SYMBOL_CALC_MODE_FOREX:
      s.digits = 5;
      s.contract_size = 100000.0;
      s.base_price = 1.0;
      s.daily_volatility = 0.006;
      s.spread_points = 10;
      s.activity = 8;
      break;
    case wire::SYMBOL_CALC_MODE_CFDINDEX:
      s.volume_min = s.volume_step = 0.1;
      s.volume_max = 500.0;
      s.base_price = 1000.0;
      s.daily_volatility = 0.011;
      s.spread_points = 50;
      s.activity = 9;
      break;
    case wire::SYMBOL_CALC_MODE_EXCH_STOCKS:
      s.volume_min = s.volume_step = 1.0;
      s.volume_max = 10000.0;
      s.base_price = 100.0;
      s.daily_volatility = 0.018;
      s.spread_points = 2;
      s.spread_range = 1;
      s.activity = 5;
      s.trades = true;
      break;
    default:  // CFD
      s.base_price = 100.0;
      s.daily_volatility = 0.01;
      s.spread_points = 20;
      break;
  }
  return s;
}

}  // namespace

bool BuildSymbols(const std::vector<SymbolConfig>& sections, std::vector<SymbolSpec>* specs, SymbolProblem* problem) {
  std::vector<SymbolSpec> built = DefaultSymbols();
  auto find = [&](const std::u16string& name) {
    return std::find_if(built.begin(), built.end(), [&](const SymbolSpec& s) { return s.name == name; });
  };
  for (const SymbolConfig& section : sections) {
    auto spec = find(section.name);
    if (spec == built.end()) {
      std::uint32_t calc_mode = 0;
      if (!SectionKind(section, &calc_mode, problem)) return false;
      spec = built.insert(built.end(), NewSymbol(section.name, calc_mode));
    }
    if (!ApplySymbolKeys(section, &*spec, problem)) return false;
    if (spec->currency_margin.empty()) {
      spec->currency_margin =
          spec->calc_mode == wire::SYMBOL_CALC_MODE_FOREX ? spec->currency_base : spec->currency_profit;
    }
  }
  // Once every symbol is known, since one section's may value another's.
  for (const SymbolConfig& section : sections) {
    if (!CheckCurrencies(section, *find(section.name), built, problem)) return false;
  }
  *specs = std::move(built);
  return true;
}

std::vector<SymbolSpec> DefaultSymbols() {
  return {
      Forex(u"EUR", u"USD", u"Euro vs US Dollar", u"Majors", {5, 1.0850, 0.005, 8}, true),
      Forex(u"GBP", u"USD", u"Great Britain Pound vs US Dollar", u"Majors", {5, 1.2650, 0.006, 10}, true),
      Forex(u"USD", u"JPY", u"US Dollar vs Japanese Yen", u"Majors", {3, 149.50, 0.006, 10}, true),
      Forex(u"USD", u"CHF", u"US Dollar vs Swiss Franc", u"Majors", {5, 0.8850, 0.005, 12}, true),
      Forex(u"AUD", u"USD", u"Australian Dollar vs US Dollar", u"Majors", {5, 0.6550, 0.007, 10}, true),
      Forex(u"USD", u"CAD", u"US Dollar vs Canadian Dollar", u"Majors", {5, 1.3600, 0.005, 14}, true),
      Forex(u"NZD", u"USD", u"New Zealand Dollar vs US Dollar", u"Majors", {5, 0.6000, 0.007, 16}, false),
      Forex(u"EUR", u"JPY", u"Euro vs Japanese Yen", u"Crosses", {3, 161.80, 0.006, 18}, false),
      Gold(),
      Index(),
      Bitcoin(),
      Stock(),
  };
}

Market::Market(std::vector<SymbolSpec> symbols, std::uint64_t seed, const Histories& histories, std::size_t minute_days,
               std::size_t bar_chunks)
    : seed_(seed),
      specs_(std::move(symbols)),
      kept_minutes_(std::make_unique<KeptMinutes>(minute_days)),
      kept_bars_(std::make_unique<KeptBars>(bar_chunks)) {
  paths_.reserve(specs_.size());
  for (const SymbolSpec& spec : specs_) {
    const auto loaded = histories.find(spec.name);
    paths_.emplace_back(spec, seed, loaded != histories.end() ? loaded->second : nullptr);
    days_.push_back(std::make_unique<DayCache>(kept_minutes_.get()));
    bars_.push_back(std::make_unique<BarCache>(kept_bars_.get()));
  }
}

std::optional<std::size_t> Market::Find(std::u16string_view name) const {
  for (std::size_t i = 0; i < specs_.size(); ++i) {
    if (specs_[i].name == name) return i;
  }
  return std::nullopt;
}

}  // namespace vl5::terminal::market
