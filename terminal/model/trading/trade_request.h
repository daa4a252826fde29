// The 232-byte trade request record of order_check and order_send, read
// through the shared field table.
#pragma once

#include <cstdint>
#include <string>

namespace vl5::terminal::trading {

struct TradeRequest {
  std::uint32_t action = 0;
  std::uint64_t magic = 0;
  std::uint64_t order = 0;
  std::u16string symbol;
  double volume = 0.0;
  double price = 0.0;
  double stoplimit = 0.0;
  double sl = 0.0;
  double tp = 0.0;
  std::uint64_t deviation = 0;  // points
  std::uint32_t type = 0;
  std::uint32_t type_filling = 0;
  std::uint32_t type_time = 0;
  std::int64_t expiration = 0;
  std::u16string comment;
  std::uint64_t position = 0;
  std::uint64_t position_by = 0;
};

// `record` holds wire::kTradeRequestSize bytes.
TradeRequest DecodeTradeRequest(const std::uint8_t* record);

}  // namespace vl5::terminal::trading
