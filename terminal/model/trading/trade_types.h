// What the trading engine keeps: open positions, orders (pending and
// finished) and deals. Plain data with money in the account currency; the
// ledger owns them and the engine changes them.
#pragma once

#include <cstddef>
#include <cmath>
#include <cstdint>
#include <string>

#include "src/wire/trade_codes.h"

namespace vl5::terminal::trading {

struct Position {
  std::uint64_t ticket = 0;  // also its identifier: the ticket of the order that opened it
  std::size_t symbol = 0;    // index in the market
  std::uint32_t type = wire::POSITION_TYPE_BUY;
  std::int64_t time_msc = 0;    // opened
  std::int64_t update_msc = 0;  // last change of volume or stops
  std::uint64_t magic = 0;
  std::uint32_t reason = wire::POSITION_REASON_EXPERT;
  double volume = 0.0;
  double price_open = 0.0;
  double sl = 0.0;  // 0: none
  double tp = 0.0;
  double margin = 0.0;  // booked when opened, for the volume still open
  double swap = 0.0;    // charged at rollovers so far, for the volume still open
  std::u16string comment;
};

struct Order {
  std::uint64_t ticket = 0;
  std::size_t symbol = 0;
  std::uint32_t type = wire::ORDER_TYPE_BUY;
  std::uint32_t type_time = wire::ORDER_TIME_GTC;
  std::uint32_t type_filling = wire::ORDER_FILLING_FOK;
  std::uint32_t state = wire::ORDER_STATE_PLACED;
  std::uint32_t reason = wire::ORDER_REASON_EXPERT;
  std::int64_t setup_msc = 0;
  std::int64_t done_msc = 0;    // 0 while pending
  std::int64_t expiration = 0;  // Unix seconds, as requested
  std::uint64_t magic = 0;
  std::uint64_t position_id = 0;
  std::uint64_t position_by_id = 0;
  double volume_initial = 0.0;
  double volume_current = 0.0;  // not yet filled
  double price_open = 0.0;
  double price_stoplimit = 0.0;
  double price_done = 0.0;  // finished orders: the market price when they were done
  double sl = 0.0;
  double tp = 0.0;
  std::u16string comment;
};

struct Deal {
  std::uint64_t ticket = 0;
  std::uint64_t order = 0;  // 0 for balance operations
  std::int64_t time_msc = 0;
  std::uint32_t type = wire::DEAL_TYPE_BUY;
  std::uint32_t entry = wire::DEAL_ENTRY_IN;
  std::uint32_t reason = wire::DEAL_REASON_EXPERT;
  std::uint64_t magic = 0;
  std::uint64_t position_id = 0;
  double volume = 0.0;
  double price = 0.0;
  double commission = 0.0;  // costs are negative
  double swap = 0.0;        // a closing deal's share of its position's swap
  double profit = 0.0;
  std::u16string symbol;  // empty for balance operations
  std::u16string comment;
};

// Whole seconds of a moment in milliseconds (the records carry both).
inline std::int64_t SecondsOf(std::int64_t ms) { return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000); }

// Volumes are decimal steps; keep sums and differences of them free of binary dust.
inline double RoundVolume(double volume) { return std::round(volume * 1e8) / 1e8; }

inline bool IsBuyPosition(const Position& position) { return position.type == wire::POSITION_TYPE_BUY; }

}  // namespace vl5::terminal::trading
