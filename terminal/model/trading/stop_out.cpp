#include "terminal/model/trading/stop_out.h"

#include <cmath>

#include "terminal/base/calendar.h"
#include "terminal/model/market/symbol_record.h"
#include "terminal/model/trading/execution.h"
#include "terminal/model/trading/money.h"
#include "terminal/model/trading/quote.h"

namespace vl5::terminal::trading {

namespace {

// A trigger fires this share of the distance early, so that the conversion
// rate's and the spread's drift cannot make it late.
constexpr double kEarly = 0.02;

// The open position that loses most, among those that can be closed now.
const Position* MostLosing(const Desk& desk, Quote* quote) {
  const Position* worst = nullptr;
  double worst_result = 0.0;
  for (const Position& position : desk.ledger.positions()) {
    Quote q;
    if (!desk.market.IsOpen(position.symbol, market::FloorDiv(desk.now_ms, 60000)) ||
        !QuoteAt(desk.market, position.symbol, desk.now_ms, &q)) {
      continue;
    }
    const double result = FloatingProfit(desk.market, position, desk.now_ms) + position.swap;
    if (worst == nullptr || result < worst_result) {
      worst = &position;
      worst_result = result;
      *quote = q;
    }
  }
  return worst;
}

}  // namespace

bool BelowStopOut(const Account& account) {
  const double level = account.config().margin_stop_out;
  return level > 0.0 && account.margin() > 0.0 && account.margin_level() < level;
}

void StopOut(Desk& desk) {
  Revalue(desk);
  while (BelowStopOut(desk.account)) {
    Quote quote;
    const Position* position = MostLosing(desk, &quote);
    if (position == nullptr) return;
    ClosePosition(desk, position->ticket, position->volume, ClosePrice(IsBuyPosition(*position), quote),
                  wire::ORDER_REASON_SO, position->magic, u"stop out");
  }
}

std::optional<Trigger> StopOutTrigger(const Desk& desk, std::size_t symbol) {
  const double level = desk.account.config().margin_stop_out;
  bool held = false;
  for (const Position& position : desk.ledger.positions()) held = held || position.symbol == symbol;
  if (level <= 0.0 || !held) return std::nullopt;
  // The account valued at this moment, not as the last request left it.
  const Valuation valuation = Value(desk.market, desk.ledger.positions(), desk.now_ms);
  const double equity = desk.account.balance() + desk.account.credit() + valuation.profit;
  const market::SymbolSpec& spec = desk.market.spec(symbol);
  // Dollars the account gains per unit rise of the symbol's price.
  const double rate = market::DollarsPerUnit(desk.market, spec.currency_profit, desk.now_ms);
  double exposure = 0.0;
  for (const Position& position : desk.ledger.positions()) {
    if (position.symbol != symbol) continue;
    exposure += (IsBuyPosition(position) ? 1.0 : -1.0) * position.volume * spec.contract_size * rate;
  }
  Quote quote;
  if (exposure == 0.0 || !QuoteAt(desk.market, symbol, desk.now_ms, &quote)) return std::nullopt;
  const double room = (equity - level / 100.0 * valuation.margin) * (1.0 - kEarly);
  const double move = room / std::fabs(exposure);  // how far the price may go against the account
  Trigger trigger;
  trigger.on_ask = false;
  trigger.rising = exposure < 0.0;
  trigger.level = ToPoints(spec, exposure > 0.0 ? quote.bid - move : quote.bid + move);
  return trigger;
}

}  // namespace vl5::terminal::trading
