#include "terminal/model/trading/trade_request.h"

#include "src/wire/trade_records.h"

namespace vl5::terminal::trading {

namespace {

const wire::Field& FieldOf(const char* name) { return *wire::FindField(wire::kTradeRequestFields, name); }

template <typename T>
T Number(const std::uint8_t* record, const char* name) {
  return wire::Load<T>(record, FieldOf(name).offset);
}

// Up to the first zero unit, never beyond the field.
std::u16string Text(const std::uint8_t* record, const char* name) {
  const wire::Field& field = FieldOf(name);
  std::u16string text;
  for (std::uint32_t i = 0; i < field.size / 2; ++i) {
    const std::uint8_t* unit = record + field.offset + 2 * i;
    const auto value = static_cast<char16_t>(unit[0] | (unit[1] << 8));
    if (value == 0) break;
    text.push_back(value);
  }
  return text;
}

}  // namespace

TradeRequest DecodeTradeRequest(const std::uint8_t* record) {
  TradeRequest r;
  r.action = Number<std::uint32_t>(record, "action");
  r.magic = Number<std::uint64_t>(record, "magic");
  r.order = Number<std::uint64_t>(record, "order");
  r.symbol = Text(record, "symbol");
  r.volume = Number<double>(record, "volume");
  r.price = Number<double>(record, "price");
  r.stoplimit = Number<double>(record, "stoplimit");
  r.sl = Number<double>(record, "sl");
  r.tp = Number<double>(record, "tp");
  r.deviation = Number<std::uint64_t>(record, "deviation");
  r.type = Number<std::uint32_t>(record, "type");
  r.type_filling = Number<std::uint32_t>(record, "type_filling");
  r.type_time = Number<std::uint32_t>(record, "type_time");
  r.expiration = Number<std::int64_t>(record, "expiration");
  r.comment = Text(record, "comment");
  r.position = Number<std::uint64_t>(record, "position");
  r.position_by = Number<std::uint64_t>(record, "position_by");
  return r;
}

}  // namespace vl5::terminal::trading
