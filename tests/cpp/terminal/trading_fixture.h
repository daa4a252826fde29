// An account's trading desk over the built-in market, with the clock in the
// test's hands: each step builds the engine at a chosen moment, as the
// terminal does per request.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "terminal/model/account/account.h"
#include "terminal/model/market/catalog.h"
#include "tests/cpp/terminal/market_fixture.h"
#include "terminal/model/trading/engine.h"
#include "terminal/model/trading/ledger.h"
#include "terminal/model/trading/quote.h"
#include "src/wire/trade_codes.h"

namespace vl5::terminal::trading::testing {

using market::testing::kNowMs;

inline TradeRequest MarketOrder(const std::u16string& symbol, std::uint32_t type, double volume) {
  TradeRequest r;
  r.action = wire::TRADE_ACTION_DEAL;
  r.symbol = symbol;
  r.type = type;
  r.volume = volume;
  return r;
}

inline TradeRequest PendingOrder(const std::u16string& symbol, std::uint32_t type, double volume, double price) {
  TradeRequest r = MarketOrder(symbol, type, volume);
  r.action = wire::TRADE_ACTION_PENDING;
  r.price = price;
  return r;
}

inline TradeRequest CloseOrder(std::uint64_t position, std::uint32_t type, double volume) {
  TradeRequest r;
  r.action = wire::TRADE_ACTION_DEAL;
  r.position = position;
  r.type = type;
  r.volume = volume;
  return r;
}

// One account (10001: 10000 USD at 1:100) from kNowMs (or `start_ms`) on.
class TradingBench {
 public:
  explicit TradingBench(std::int64_t start_ms = kNowMs)
      : TradingBench(market::DefaultSymbols(), 1, DefaultAccounts()[0], start_ms) {}
  // Over changed symbols, another seed or another account.
  TradingBench(std::vector<market::SymbolSpec> symbols, std::uint64_t seed, const AccountConfig& account,
               std::int64_t start_ms = kNowMs)
      : market_(std::move(symbols), seed), account_(account), ledger_(account_.balance(), start_ms) {}

  // The engine at `ms`, caught up with the market as a request would find it.
  Engine At(std::int64_t ms) {
    Engine engine(market_, account_, ledger_, ms);
    engine.CatchUp();
    return engine;
  }
  SendResult Send(std::int64_t ms, const TradeRequest& request) { return At(ms).Send(request); }

  std::size_t Symbol(const std::u16string& name) const { return *market_.Find(name); }
  const market::SymbolSpec& Spec(const std::u16string& name) const { return market_.spec(Symbol(name)); }
  Quote QuoteOf(const std::u16string& name, std::int64_t ms) const {
    Quote quote;
    EXPECT_TRUE(QuoteAt(market_, Symbol(name), ms, &quote));
    return quote;
  }
  // `points` whole points of the symbol away from `price`.
  double Offset(const std::u16string& name, double price, int points) const {
    return Normalize(Spec(name), price + points * Spec(name).Point());
  }

  // The first tick in (after_ms, until_ms] that satisfies `fires`, if any.
  template <typename Fires>
  std::optional<market::Tick> FirstTick(const std::u16string& name, std::int64_t after_ms, std::int64_t until_ms,
                                        Fires fires) const {
    for (const market::Tick& tick : market::testing::CollectTicks(market_.path(Symbol(name)), after_ms + 1, until_ms)) {
      if (fires(tick)) return tick;
    }
    return std::nullopt;
  }
  std::int64_t Points(const std::u16string& name, double price) const { return ToPoints(Spec(name), price); }

  const Order* HistoryOrder(std::uint64_t ticket) const {
    for (const Order& order : ledger_.history_orders()) {
      if (order.ticket == ticket) return &order;
    }
    return nullptr;
  }
  const Deal* FindDeal(std::uint64_t ticket) const {
    for (const Deal& deal : ledger_.deals()) {
      if (deal.ticket == ticket) return &deal;
    }
    return nullptr;
  }
  std::vector<const Deal*> DealsOf(std::uint64_t position) const {
    std::vector<const Deal*> deals;
    for (const Deal& deal : ledger_.deals()) {
      if (deal.position_id == position) deals.push_back(&deal);
    }
    return deals;
  }

  market::Market market_;
  Account account_;
  Ledger ledger_;
};

class TradingTest : public ::testing::Test, public TradingBench {};

}  // namespace vl5::terminal::trading::testing
