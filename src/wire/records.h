// Wire records of the market and information replies, described field by
// field. Each table lists the fields in the order of their result tuple, with
// their offset in the packed little-endian record; the module reads records
// through these tables and the terminal writes them through the same tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vl5::wire {

enum class FieldKind : std::uint8_t { kBool, kU32, kI32, kU64, kI64, kF64, kText };

struct Field {
  const char* name;
  std::uint32_t offset;
  FieldKind kind;
  std::uint32_t size;  // bytes; a text field holds size / 2 UTF-16 units
};

// Bars and ticks: 60-byte records, also the elements of the NumPy arrays.
inline constexpr std::uint32_t kRateRecordSize = 60;
inline constexpr std::uint32_t kTickRecordSize = 60;

inline constexpr Field kTickFields[] = {
    {"time", 0, FieldKind::kI64, 8},   {"bid", 8, FieldKind::kF64, 8},          {"ask", 16, FieldKind::kF64, 8},
    {"last", 24, FieldKind::kF64, 8},  {"volume", 32, FieldKind::kU64, 8},      {"time_msc", 40, FieldKind::kI64, 8},
    {"flags", 48, FieldKind::kU32, 4}, {"volume_real", 52, FieldKind::kF64, 8},
};

inline constexpr Field kRateFields[] = {
    {"time", 0, FieldKind::kI64, 8},    {"open", 8, FieldKind::kF64, 8},
    {"high", 16, FieldKind::kF64, 8},   {"low", 24, FieldKind::kF64, 8},
    {"close", 32, FieldKind::kF64, 8},  {"tick_volume", 40, FieldKind::kU64, 8},
    {"spread", 48, FieldKind::kI32, 4}, {"real_volume", 52, FieldKind::kU64, 8},
};

// BookInfoRecord, 28 bytes: one depth-of-market entry.
inline constexpr std::uint32_t kBookInfoSize = 28;
inline constexpr Field kBookInfoFields[] = {
    {"type", 0, FieldKind::kU32, 4},
    {"price", 4, FieldKind::kF64, 8},
    {"volume", 12, FieldKind::kU64, 8},
    {"volume_dbl", 20, FieldKind::kF64, 8},
};

// SymbolInfoRecord, 2993 bytes (2929 before build 2364: without `name`).
inline constexpr std::uint32_t kSymbolInfoSize = 2993;
inline constexpr std::uint32_t kSymbolInfoSizeOld = 2929;
inline constexpr Field kSymbolInfoFields[] = {
    {"custom", 0, FieldKind::kBool, 1},
    {"chart_mode", 1, FieldKind::kU32, 4},
    {"select", 5, FieldKind::kBool, 1},
    {"visible", 6, FieldKind::kBool, 1},
    {"session_deals", 7, FieldKind::kU64, 8},
    {"session_buy_orders", 15, FieldKind::kU64, 8},
    {"session_sell_orders", 23, FieldKind::kU64, 8},
    {"volume", 31, FieldKind::kU64, 8},
    {"volumehigh", 39, FieldKind::kU64, 8},
    {"volumelow", 47, FieldKind::kU64, 8},
    {"time", 55, FieldKind::kI64, 8},
    {"digits", 63, FieldKind::kU32, 4},
    {"spread", 67, FieldKind::kI32, 4},
    {"spread_float", 71, FieldKind::kBool, 1},
    {"ticks_bookdepth", 72, FieldKind::kU32, 4},
    {"trade_calc_mode", 76, FieldKind::kU32, 4},
    {"trade_mode", 80, FieldKind::kU32, 4},
    {"start_time", 84, FieldKind::kI64, 8},
    {"expiration_time", 92, FieldKind::kI64, 8},
    {"trade_stops_level", 100, FieldKind::kI32, 4},
    {"trade_freeze_level", 104, FieldKind::kI32, 4},
    {"trade_exemode", 108, FieldKind::kU32, 4},
    {"swap_mode", 112, FieldKind::kU32, 4},
    {"swap_rollover3days", 116, FieldKind::kU32, 4},
    {"margin_hedged_use_leg", 120, FieldKind::kBool, 1},
    {"expiration_mode", 121, FieldKind::kI32, 4},
    {"filling_mode", 125, FieldKind::kI32, 4},
    {"order_mode", 129, FieldKind::kI32, 4},
    {"order_gtc_mode", 133, FieldKind::kU32, 4},
    {"option_mode", 137, FieldKind::kU32, 4},
    {"option_right", 141, FieldKind::kU32, 4},
    {"bid", 145, FieldKind::kF64, 8},
    {"bidhigh", 153, FieldKind::kF64, 8},
    {"bidlow", 161, FieldKind::kF64, 8},
    {"ask", 169, FieldKind::kF64, 8},
    {"askhigh", 177, FieldKind::kF64, 8},
    {"asklow", 185, FieldKind::kF64, 8},
    {"last", 193, FieldKind::kF64, 8},
    {"lasthigh", 201, FieldKind::kF64, 8},
    {"lastlow", 209, FieldKind::kF64, 8},
    {"volume_real", 217, FieldKind::kF64, 8},
    {"volumehigh_real", 225, FieldKind::kF64, 8},
    {"volumelow_real", 233, FieldKind::kF64, 8},
    {"option_strike", 241, FieldKind::kF64, 8},
    {"point", 249, FieldKind::kF64, 8},
    {"trade_tick_value", 257, FieldKind::kF64, 8},
    {"trade_tick_value_profit", 265, FieldKind::kF64, 8},
    {"trade_tick_value_loss", 273, FieldKind::kF64, 8},
    {"trade_tick_size", 281, FieldKind::kF64, 8},
    {"trade_contract_size", 289, FieldKind::kF64, 8},
    {"trade_accrued_interest", 297, FieldKind::kF64, 8},
    {"trade_face_value", 305, FieldKind::kF64, 8},
    {"trade_liquidity_rate", 313, FieldKind::kF64, 8},
    {"volume_min", 321, FieldKind::kF64, 8},
    {"volume_max", 329, FieldKind::kF64, 8},
    {"volume_step", 337, FieldKind::kF64, 8},
    {"volume_limit", 345, FieldKind::kF64, 8},
    {"swap_long", 353, FieldKind::kF64, 8},
    {"swap_short", 361, FieldKind::kF64, 8},
    {"margin_initial", 369, FieldKind::kF64, 8},
    {"margin_maintenance", 377, FieldKind::kF64, 8},
    {"session_volume", 385, FieldKind::kF64, 8},
    {"session_turnover", 393, FieldKind::kF64, 8},
    {"session_interest", 401, FieldKind::kF64, 8},
    {"session_buy_orders_volume", 409, FieldKind::kF64, 8},
    {"session_sell_orders_volume", 417, FieldKind::kF64, 8},
    {"session_open", 425, FieldKind::kF64, 8},
    {"session_close", 433, FieldKind::kF64, 8},
    {"session_aw", 441, FieldKind::kF64, 8},
    {"session_price_settlement", 449, FieldKind::kF64, 8},
    {"session_price_limit_min", 457, FieldKind::kF64, 8},
    {"session_price_limit_max", 465, FieldKind::kF64, 8},
    {"margin_hedged", 473, FieldKind::kF64, 8},
    {"price_change", 481, FieldKind::kF64, 8},
    {"price_volatility", 489, FieldKind::kF64, 8},
    {"price_theoretical", 497, FieldKind::kF64, 8},
    {"price_greeks_delta", 505, FieldKind::kF64, 8},
    {"price_greeks_theta", 513, FieldKind::kF64, 8},
    {"price_greeks_gamma", 521, FieldKind::kF64, 8},
    {"price_greeks_vega", 529, FieldKind::kF64, 8},
    {"price_greeks_rho", 537, FieldKind::kF64, 8},
    {"price_greeks_omega", 545, FieldKind::kF64, 8},
    {"price_sensitivity", 553, FieldKind::kF64, 8},
    {"basis", 561, FieldKind::kText, 64},
    {"category", 625, FieldKind::kText, 128},
    {"currency_base", 753, FieldKind::kText, 32},
    {"currency_profit", 785, FieldKind::kText, 32},
    {"currency_margin", 817, FieldKind::kText, 32},
    {"bank", 849, FieldKind::kText, 512},
    {"description", 1361, FieldKind::kText, 128},
    {"exchange", 1489, FieldKind::kText, 128},
    {"formula", 1617, FieldKind::kText, 512},
    {"isin", 2129, FieldKind::kText, 32},
    {"name", 2929, FieldKind::kText, 64},
    {"page", 2161, FieldKind::kText, 512},
    {"path", 2673, FieldKind::kText, 256},
};

// TerminalInfoRecord, 3162 bytes.
inline constexpr std::uint32_t kTerminalInfoSize = 3162;
inline constexpr Field kTerminalInfoFields[] = {
    {"community_account", 4, FieldKind::kBool, 1},
    {"community_connection", 5, FieldKind::kBool, 1},
    {"connected", 6, FieldKind::kBool, 1},
    {"dlls_allowed", 7, FieldKind::kBool, 1},
    {"trade_allowed", 8, FieldKind::kBool, 1},
    {"tradeapi_disabled", 3161, FieldKind::kBool, 1},
    {"email_enabled", 9, FieldKind::kBool, 1},
    {"ftp_enabled", 10, FieldKind::kBool, 1},
    {"notifications_enabled", 11, FieldKind::kBool, 1},
    {"obid", 16, FieldKind::kBool, 1},
    {"build", 0, FieldKind::kU32, 4},
    {"maxbars", 12, FieldKind::kU32, 4},
    {"codepage", 17, FieldKind::kI32, 4},
    {"ping_last", 21, FieldKind::kI32, 4},
    {"community_balance", 25, FieldKind::kF64, 8},
    {"retransmission", 33, FieldKind::kF64, 8},
    {"company", 41, FieldKind::kText, 520},
    {"name", 561, FieldKind::kText, 520},
    {"language", 1081, FieldKind::kText, 520},
    {"path", 1601, FieldKind::kText, 520},
    {"data_path", 2121, FieldKind::kText, 520},
    {"commondata_path", 2641, FieldKind::kText, 520},
};

// AccountInfoRecord, 851 bytes.
inline constexpr std::uint32_t kAccountInfoSize = 851;
inline constexpr Field kAccountInfoFields[] = {
    {"login", 0, FieldKind::kU64, 8},
    {"trade_mode", 8, FieldKind::kU32, 4},
    {"leverage", 12, FieldKind::kU32, 4},
    {"limit_orders", 16, FieldKind::kU32, 4},
    {"margin_so_mode", 20, FieldKind::kU32, 4},
    {"trade_allowed", 24, FieldKind::kBool, 1},
    {"trade_expert", 25, FieldKind::kBool, 1},
    {"margin_mode", 26, FieldKind::kU32, 4},
    {"currency_digits", 30, FieldKind::kU32, 4},
    {"fifo_close", 34, FieldKind::kBool, 1},
    {"balance", 35, FieldKind::kF64, 8},
    {"credit", 43, FieldKind::kF64, 8},
    {"profit", 51, FieldKind::kF64, 8},
    {"equity", 59, FieldKind::kF64, 8},
    {"margin", 67, FieldKind::kF64, 8},
    {"margin_free", 75, FieldKind::kF64, 8},
    {"margin_level", 83, FieldKind::kF64, 8},
    {"margin_so_call", 91, FieldKind::kF64, 8},
    {"margin_so_so", 99, FieldKind::kF64, 8},
    {"margin_initial", 107, FieldKind::kF64, 8},
    {"margin_maintenance", 115, FieldKind::kF64, 8},
    {"assets", 123, FieldKind::kF64, 8},
    {"liabilities", 131, FieldKind::kF64, 8},
    {"commission_blocked", 139, FieldKind::kF64, 8},
    {"name", 147, FieldKind::kText, 256},
    {"server", 403, FieldKind::kText, 128},
    {"currency", 531, FieldKind::kText, 64},
    {"company", 595, FieldKind::kText, 256},
};

// Field access at an offset of a packed record, without unaligned casts.
template <typename T>
T Load(const std::uint8_t* record, std::uint32_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof(value));
  return value;
}
template <typename T>
void Store(std::uint8_t* record, std::uint32_t offset, T value) {
  std::memcpy(record + offset, &value, sizeof(value));
}

// The field of `name` in a table, or null.
template <std::size_t N>
constexpr const Field* FindField(const Field (&fields)[N], const char* name) {
  for (const Field& field : fields) {
    const char* a = field.name;
    const char* b = name;
    while (*a != '\0' && *a == *b) {
      ++a;
      ++b;
    }
    if (*a == *b) return &field;
  }
  return nullptr;
}

// Every table covers its record exactly: the field sizes add up to it.
template <std::size_t N>
constexpr std::uint32_t TotalSize(const Field (&fields)[N]) {
  std::uint32_t total = 0;
  for (const Field& field : fields) total += field.size;
  return total;
}
static_assert(TotalSize(kTickFields) == kTickRecordSize);
static_assert(TotalSize(kRateFields) == kRateRecordSize);
static_assert(TotalSize(kBookInfoFields) == kBookInfoSize);
static_assert(TotalSize(kSymbolInfoFields) == kSymbolInfoSize);
static_assert(TotalSize(kTerminalInfoFields) == kTerminalInfoSize);
static_assert(TotalSize(kAccountInfoFields) == kAccountInfoSize);
static_assert(FindField(kSymbolInfoFields, "name")->offset == kSymbolInfoSizeOld);

}  // namespace vl5::wire
