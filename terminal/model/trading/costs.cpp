#include "terminal/model/trading/costs.h"

#include "terminal/base/calendar.h"
#include "terminal/model/market/trading_hours.h"
#include "terminal/model/market/symbol_record.h"
#include "terminal/model/trading/money.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::trading {

namespace {

constexpr std::int64_t kMinuteMs = 60000;

}  // namespace

double DealCommission(const market::Market& market, const AccountConfig& account, std::size_t symbol, double volume,
                      double price, std::int64_t now_ms) {
  const market::SymbolSpec& spec = market.spec(symbol);
  // A symbol with rates of its own ignores the account's altogether.
  const bool own = spec.commission_per_lot || spec.commission_percent;
  const double per_lot = own ? spec.commission_per_lot.value_or(0.0) : account.commission_per_lot;
  const double percent = own ? spec.commission_percent.value_or(0.0) : account.commission_percent;
  if (per_lot == 0.0 && percent == 0.0) return 0.0;
  const double value =
      volume * spec.contract_size * price * market::DollarsPerUnit(market, spec.currency_profit, now_ms);
  return -RoundMoney(per_lot * volume + percent / 100.0 * value);
}

std::int64_t NextRollover(const market::SymbolSpec& spec, std::int64_t ms) {
  const market::TradingHours& hours = spec.hours;
  const std::int64_t day = market::FloorDiv(hours.LocalMinute(market::FloorDiv(ms, kMinuteMs)), market::kDayMinutes);
  // A local day is 23 to 25 hours long: the one after `ms` is among the next few.
  for (std::int64_t d = day - 1; d <= day + 3; ++d) {
    const std::int64_t rollover = hours.UtcMinute(d * market::kDayMinutes + hours.DayEnd()) * kMinuteMs;
    if (rollover > ms) return rollover;
  }
  return (market::FloorDiv(ms, kDayMs) + 1) * kDayMs;
}

double RolloverSwap(const market::Market& market, const Position& position, std::int64_t rollover_ms) {
  const market::SymbolSpec& spec = market.spec(position.symbol);
  if (spec.swap_mode != wire::SYMBOL_SWAP_MODE_POINTS) return 0.0;
  // The local day the rollover closes.
  const int ended = market::DayOfWeek(spec.hours.LocalMinute(market::FloorDiv(rollover_ms, kMinuteMs) - 1));
  if (ended == static_cast<int>(wire::DAY_OF_WEEK_SATURDAY) || ended == static_cast<int>(wire::DAY_OF_WEEK_SUNDAY)) {
    return 0.0;
  }
  const int days = ended == static_cast<int>(spec.swap_rollover3days) ? 3 : 1;
  const double points = IsBuyPosition(position) ? spec.swap_long : spec.swap_short;
  // Points on a long position of the volume, valued as a price move from 0.
  return RoundMoney(days *
                    ProfitFor(market, position.symbol, true, position.volume, 0.0, points * spec.Point(), rollover_ms));
}

}  // namespace vl5::terminal::trading
