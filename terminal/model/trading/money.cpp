#include "terminal/model/trading/money.h"

#include <cmath>

#include "terminal/model/market/symbol_record.h"
#include "terminal/model/trading/quote.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::trading {

namespace {

double ToDollars(const market::Market& market, std::size_t symbol, double amount, std::int64_t now_ms) {
  return amount * market::DollarsPerUnit(market, market.spec(symbol).currency_profit, now_ms);
}

}  // namespace

double RoundMoney(double amount) { return std::round(amount * 100.0) / 100.0; }

double MarginFor(const market::Market& market, std::size_t symbol, double volume, double price, std::uint32_t leverage,
                 std::int64_t now_ms) {
  const market::SymbolSpec& spec = market.spec(symbol);
  auto in_margin_currency = [&](double amount) {
    return RoundMoney(amount * market::DollarsPerUnit(market, spec.currency_margin, now_ms));
  };
  if (spec.margin_initial > 0.0) return in_margin_currency(volume * spec.margin_initial);
  if (spec.calc_mode == wire::SYMBOL_CALC_MODE_FOREX && spec.currency_margin != spec.currency_base) {
    return in_margin_currency(volume * spec.contract_size / leverage);
  }
  // Otherwise the price turns the volume into the profit currency (for forex,
  // base units at the deal's own rate).
  const double notional = volume * spec.contract_size * price;
  const double divisor = spec.calc_mode == wire::SYMBOL_CALC_MODE_EXCH_STOCKS ? 1.0 : leverage;
  return RoundMoney(ToDollars(market, symbol, notional / divisor, now_ms));
}

double ProfitFor(const market::Market& market, std::size_t symbol, bool buy, double volume, double open, double close,
                 std::int64_t now_ms) {
  const double move = buy ? close - open : open - close;
  return RoundMoney(ToDollars(market, symbol, move * volume * market.spec(symbol).contract_size, now_ms));
}

double FloatingProfit(const market::Market& market, const Position& position, std::int64_t now_ms) {
  Quote quote;
  if (!QuoteAt(market, position.symbol, now_ms, &quote)) return 0.0;
  const bool buy = IsBuyPosition(position);
  return ProfitFor(market, position.symbol, buy, position.volume, position.price_open, ClosePrice(buy, quote), now_ms);
}

Valuation Value(const market::Market& market, const std::vector<Position>& positions, std::int64_t now_ms) {
  Valuation valuation;
  for (const Position& position : positions) {
    valuation.profit += FloatingProfit(market, position, now_ms) + position.swap;
    valuation.margin += position.margin;
  }
  // Sums of cents, kept to the cent so that they compare with what is booked.
  valuation.profit = RoundMoney(valuation.profit);
  valuation.margin = RoundMoney(valuation.margin);
  return valuation;
}

}  // namespace vl5::terminal::trading
