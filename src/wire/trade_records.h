// Wire records of the trading replies and of the trade request, as field
// tables in result-tuple order (see records.h).
#pragma once

#include <cstdint>

#include "src/wire/records.h"

namespace vl5::wire {

// TradePositionRecord, 320 bytes; the 8 bytes at offset 104 are reserved.
inline constexpr std::uint32_t kTradePositionSize = 320;
inline constexpr Field kTradePositionFields[] = {
    {"ticket", 0, FieldKind::kU64, 8},
    {"time", 8, FieldKind::kI64, 8},
    {"time_msc", 16, FieldKind::kI64, 8},
    {"time_update", 24, FieldKind::kI64, 8},
    {"time_update_msc", 32, FieldKind::kI64, 8},
    {"type", 40, FieldKind::kU32, 4},
    {"magic", 44, FieldKind::kU64, 8},
    {"identifier", 52, FieldKind::kU64, 8},
    {"reason", 60, FieldKind::kU32, 4},
    {"volume", 64, FieldKind::kF64, 8},
    {"price_open", 72, FieldKind::kF64, 8},
    {"sl", 80, FieldKind::kF64, 8},
    {"tp", 88, FieldKind::kF64, 8},
    {"price_current", 96, FieldKind::kF64, 8},
    {"swap", 112, FieldKind::kF64, 8},
    {"profit", 120, FieldKind::kF64, 8},
    {"symbol", 128, FieldKind::kText, 64},
    {"comment", 192, FieldKind::kText, 64},
    {"external_id", 256, FieldKind::kText, 64},
};

// TradeOrderRecord, 340 bytes: open and historical orders.
inline constexpr std::uint32_t kTradeOrderSize = 340;
inline constexpr Field kTradeOrderFields[] = {
    {"ticket", 0, FieldKind::kU64, 8},
    {"time_setup", 8, FieldKind::kI64, 8},
    {"time_setup_msc", 16, FieldKind::kI64, 8},
    {"time_done", 24, FieldKind::kI64, 8},
    {"time_done_msc", 32, FieldKind::kI64, 8},
    {"time_expiration", 40, FieldKind::kI64, 8},
    {"type", 48, FieldKind::kU32, 4},
    {"type_time", 52, FieldKind::kU32, 4},
    {"type_filling", 56, FieldKind::kU32, 4},
    {"state", 60, FieldKind::kU32, 4},
    {"magic", 64, FieldKind::kU64, 8},
    {"position_id", 72, FieldKind::kU64, 8},
    {"position_by_id", 80, FieldKind::kU64, 8},
    {"reason", 88, FieldKind::kU32, 4},
    {"volume_initial", 92, FieldKind::kF64, 8},
    {"volume_current", 100, FieldKind::kF64, 8},
    {"price_open", 108, FieldKind::kF64, 8},
    {"sl", 116, FieldKind::kF64, 8},
    {"tp", 124, FieldKind::kF64, 8},
    {"price_current", 132, FieldKind::kF64, 8},
    {"price_stoplimit", 140, FieldKind::kF64, 8},
    {"symbol", 148, FieldKind::kText, 64},
    {"comment", 212, FieldKind::kText, 64},
    {"external_id", 276, FieldKind::kText, 64},
};

// TradeDealRecord, 300 bytes.
inline constexpr std::uint32_t kTradeDealSize = 300;
inline constexpr Field kTradeDealFields[] = {
    {"ticket", 0, FieldKind::kU64, 8},      {"order", 8, FieldKind::kU64, 8},
    {"time", 16, FieldKind::kI64, 8},       {"time_msc", 24, FieldKind::kI64, 8},
    {"type", 32, FieldKind::kU32, 4},       {"entry", 36, FieldKind::kU32, 4},
    {"magic", 40, FieldKind::kU64, 8},      {"position_id", 48, FieldKind::kU64, 8},
    {"reason", 56, FieldKind::kU32, 4},     {"volume", 60, FieldKind::kF64, 8},
    {"price", 68, FieldKind::kF64, 8},      {"commission", 76, FieldKind::kF64, 8},
    {"swap", 84, FieldKind::kF64, 8},       {"profit", 92, FieldKind::kF64, 8},
    {"fee", 100, FieldKind::kF64, 8},       {"symbol", 108, FieldKind::kText, 64},
    {"comment", 172, FieldKind::kText, 64}, {"external_id", 236, FieldKind::kText, 64},
};

// TradeRequestRecord, 232 bytes: sent unchanged by order_check and order_send.
inline constexpr std::uint32_t kTradeRequestSize = 232;
inline constexpr Field kTradeRequestFields[] = {
    {"action", 0, FieldKind::kU32, 4},        {"magic", 4, FieldKind::kU64, 8},
    {"order", 12, FieldKind::kU64, 8},        {"symbol", 20, FieldKind::kText, 64},
    {"volume", 84, FieldKind::kF64, 8},       {"price", 92, FieldKind::kF64, 8},
    {"stoplimit", 100, FieldKind::kF64, 8},   {"sl", 108, FieldKind::kF64, 8},
    {"tp", 116, FieldKind::kF64, 8},          {"deviation", 124, FieldKind::kU64, 8},
    {"type", 132, FieldKind::kU32, 4},        {"type_filling", 136, FieldKind::kU32, 4},
    {"type_time", 140, FieldKind::kU32, 4},   {"expiration", 144, FieldKind::kI64, 8},
    {"comment", 152, FieldKind::kText, 64},   {"position", 216, FieldKind::kU64, 8},
    {"position_by", 224, FieldKind::kU64, 8},
};

// OrderCheckResultRecord, 252 bytes; the result tuple adds the request.
inline constexpr std::uint32_t kOrderCheckResultSize = 252;
inline constexpr Field kOrderCheckResultFields[] = {
    {"retcode", 0, FieldKind::kU32, 4},       {"balance", 4, FieldKind::kF64, 8},
    {"equity", 12, FieldKind::kF64, 8},       {"profit", 20, FieldKind::kF64, 8},
    {"margin", 28, FieldKind::kF64, 8},       {"margin_free", 36, FieldKind::kF64, 8},
    {"margin_level", 44, FieldKind::kF64, 8}, {"comment", 52, FieldKind::kText, 200},
};

// OrderSendResultRecord, 260 bytes; the result tuple adds the request.
inline constexpr std::uint32_t kOrderSendResultSize = 260;
inline constexpr Field kOrderSendResultFields[] = {
    {"retcode", 0, FieldKind::kU32, 4},      {"deal", 4, FieldKind::kU64, 8},
    {"order", 12, FieldKind::kU64, 8},       {"volume", 20, FieldKind::kF64, 8},
    {"price", 28, FieldKind::kF64, 8},       {"bid", 36, FieldKind::kF64, 8},
    {"ask", 44, FieldKind::kF64, 8},         {"comment", 52, FieldKind::kText, 200},
    {"request_id", 252, FieldKind::kU32, 4}, {"retcode_external", 256, FieldKind::kI32, 4},
};
// The symbol field of positions, orders and deals: 32 UTF-16 units.
inline constexpr std::uint32_t kTradeSymbolUnits = 32;
static_assert(FindField(kTradePositionFields, "symbol")->size == 2 * kTradeSymbolUnits);
static_assert(FindField(kTradeOrderFields, "symbol")->size == 2 * kTradeSymbolUnits);
static_assert(FindField(kTradeDealFields, "symbol")->size == 2 * kTradeSymbolUnits);

inline constexpr std::uint32_t kTradePositionReserved = 8;
static_assert(TotalSize(kTradePositionFields) + kTradePositionReserved == kTradePositionSize);
static_assert(TotalSize(kTradeOrderFields) == kTradeOrderSize);
static_assert(TotalSize(kTradeDealFields) == kTradeDealSize);
static_assert(TotalSize(kTradeRequestFields) == kTradeRequestSize);
static_assert(TotalSize(kOrderCheckResultFields) == kOrderCheckResultSize);
static_assert(TotalSize(kOrderSendResultFields) == kOrderSendResultSize);

}  // namespace vl5::wire
