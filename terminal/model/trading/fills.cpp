#include "terminal/model/trading/fills.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "terminal/base/hash.h"
#include "terminal/model/market/book.h"
#include "terminal/model/trading/trade_types.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::trading {

namespace {

// The levels a buyer takes (the sell side, lowest first) or a seller takes
// (the buy side, highest first).
std::vector<market::BookEntry> SideTaken(const market::Market& market, std::size_t symbol, bool buy,
                                         const market::Tick& tick) {
  const std::vector<market::BookEntry> book = market::BookAround(market.spec(symbol), tick, market.seed());
  std::vector<market::BookEntry> side;
  for (const market::BookEntry& entry : book) {
    if (entry.type == (buy ? wire::BOOK_TYPE_SELL : wire::BOOK_TYPE_BUY)) side.push_back(entry);
  }
  std::sort(side.begin(), side.end(), [buy](const market::BookEntry& a, const market::BookEntry& b) {
    return buy ? a.price < b.price : a.price > b.price;
  });
  return side;
}

std::int64_t SlipPoints(const market::Market& market, std::size_t symbol, bool buy, double volume,
                        const market::Tick& tick, std::uint64_t sequence) {
  const market::SymbolSpec& spec = market.spec(symbol);
  const Slippage& slippage = spec.slippage;
  switch (slippage.model) {
    case Slippage::Model::kNone:
      return 0;
    case Slippage::Model::kFixed:
      return slippage.low;
    case Slippage::Model::kRandom: {
      const std::uint64_t span = static_cast<std::uint64_t>(slippage.high - slippage.low) + 1;
      const std::uint64_t h =
          market::Hash(market.seed(), market::HashName(spec.name.data(), spec.name.size()), sequence);
      return slippage.low + static_cast<std::int64_t>(h % span);
    }
    case Slippage::Model::kBook: {
      double side = 0.0;
      for (const market::BookEntry& entry : SideTaken(market, symbol, buy, tick)) side += entry.volume;
      if (!(side > 0.0)) return slippage.high;
      // Whole points, rounded up: any share of the book moves the price.
      return static_cast<std::int64_t>(std::ceil(slippage.high * std::min(1.0, volume / side) - 1e-9));
    }
  }
  return 0;
}

}  // namespace

bool BookFills(const market::SymbolSpec& spec) {
  if (spec.book_fills) return *spec.book_fills;
  // The exchange modes are numbered from 32 up to the collateral mode at 64, which does not trade.
  return spec.calc_mode >= wire::SYMBOL_CALC_MODE_EXCH_STOCKS && spec.calc_mode < 64;
}

Fill FillAt(const market::Market& market, std::size_t symbol, bool buy, double volume, const market::Tick& tick,
            std::uint64_t sequence) {
  Fill fill;
  if (!BookFills(market.spec(symbol))) {
    fill.volume = volume;
    fill.worst = buy ? tick.ask : tick.bid;
    fill.price = Slipped(market, symbol, buy, volume, tick, sequence, fill.worst);
    return fill;
  }
  double cost = 0.0;  // points times lots
  for (const market::BookEntry& level : SideTaken(market, symbol, buy, tick)) {
    const double left = RoundVolume(volume - fill.volume);
    if (left <= 0.0) break;
    const double taken = std::min(left, level.volume);
    fill.volume = RoundVolume(fill.volume + taken);
    cost += taken * static_cast<double>(level.price);
    fill.worst = level.price;
  }
  if (fill.volume <= 0.0) return fill;
  const double average = cost / fill.volume;
  // A fraction of a point goes to the market: up for a buyer, down for a seller.
  const std::int64_t price = static_cast<std::int64_t>(buy ? std::ceil(average - 1e-6) : std::floor(average + 1e-6));
  fill.price = Slipped(market, symbol, buy, fill.volume, tick, sequence, price);
  return fill;
}

std::int64_t Slipped(const market::Market& market, std::size_t symbol, bool buy, double volume,
                     const market::Tick& tick, std::uint64_t sequence, std::int64_t points) {
  const std::int64_t slip = SlipPoints(market, symbol, buy, volume, tick, sequence);
  // A seller never gets less than one point.
  return buy ? points + slip : std::max<std::int64_t>(1, points - slip);
}

}  // namespace vl5::terminal::trading
