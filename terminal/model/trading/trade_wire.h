// The wire records of the trading replies, filled through the shared field
// tables. Open positions and pending orders carry the market of the moment
// (current price, floating profit); finished records are as they were booked.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "terminal/model/market/catalog.h"
#include "terminal/model/trading/trade_types.h"

namespace vl5::terminal::trading {

using Record = std::vector<std::uint8_t>;

Record PositionRecord(const market::Market& market, const Position& position, std::int64_t now_ms);
Record PendingOrderRecord(const market::Market& market, const Order& order, std::int64_t now_ms);
Record HistoryOrderRecord(const market::Market& market, const Order& order);
Record DealRecord(const Deal& deal);

struct CheckResult {
  std::uint32_t retcode = 0;
  double balance = 0.0;
  double equity = 0.0;
  double profit = 0.0;
  double margin = 0.0;
  double margin_free = 0.0;
  double margin_level = 0.0;
};
Record CheckResultRecord(const CheckResult& result);

struct SendResult {
  std::uint32_t retcode = 0;
  std::uint64_t deal = 0;
  std::uint64_t order = 0;
  double volume = 0.0;
  double price = 0.0;
  double bid = 0.0;
  double ask = 0.0;
  std::uint32_t request_id = 0;
};
Record SendResultRecord(const SendResult& result);

}  // namespace vl5::terminal::trading
