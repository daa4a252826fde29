#include "terminal/model/trading/validation.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "terminal/base/calendar.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::trading {

namespace {

constexpr std::int64_t kDayMs = 86400 * 1000;
// Volumes are compared with this much room for binary rounding.
constexpr double kVolumeTolerance = 1e-8;

std::int64_t EndOfDayMs(std::int64_t ms) { return (market::FloorDiv(ms, kDayMs) + 1) * kDayMs; }

bool Allows(std::int32_t bits, std::int32_t bit) { return (bits & bit) != 0; }

// Whether `level` lies where a price now at `from` reaches it by moving as
// `reach` says, at least `gap` points away.
bool Reaches(Reach reach, std::int64_t from, std::int64_t level, std::int64_t gap) {
  switch (reach) {
    case Reach::kFallsTo:
      return level <= from - gap;
    case Reach::kRisesTo:
      return level >= from + gap;
    case Reach::kNone:
      break;
  }
  return false;
}

std::int32_t ExpirationBit(std::uint32_t type_time) {
  switch (type_time) {
    case wire::ORDER_TIME_GTC:
      return wire::SYMBOL_EXPIRATION_GTC;
    case wire::ORDER_TIME_DAY:
      return wire::SYMBOL_EXPIRATION_DAY;
    case wire::ORDER_TIME_SPECIFIED:
      return wire::SYMBOL_EXPIRATION_SPECIFIED;
    case wire::ORDER_TIME_SPECIFIED_DAY:
      return wire::SYMBOL_EXPIRATION_SPECIFIED_DAY;
    default:
      return 0;
  }
}

}  // namespace

std::uint32_t CheckFinite(const TradeRequest& r) {
  if (!std::isfinite(r.volume)) return wire::TRADE_RETCODE_INVALID_VOLUME;
  if (!std::isfinite(r.price) || !std::isfinite(r.stoplimit)) return wire::TRADE_RETCODE_INVALID_PRICE;
  if (!std::isfinite(r.sl) || !std::isfinite(r.tp)) return wire::TRADE_RETCODE_INVALID_STOPS;
  return 0;
}

std::uint32_t CheckVolume(const market::SymbolSpec& spec, double volume) {
  const double steps = volume / spec.volume_step;
  if (!(volume >= spec.volume_min - kVolumeTolerance) || volume > spec.volume_max + kVolumeTolerance ||
      std::fabs(steps - std::round(steps)) > 1e-6) {
    return wire::TRADE_RETCODE_INVALID_VOLUME;
  }
  return 0;
}

std::uint32_t CheckFilling(const market::SymbolSpec& spec, std::uint32_t filling, bool rests) {
  switch (filling) {
    case wire::ORDER_FILLING_FOK:
      return Allows(spec.filling_mode, wire::SYMBOL_FILLING_FOK) ? 0 : wire::TRADE_RETCODE_INVALID_FILL;
    case wire::ORDER_FILLING_IOC:
      return Allows(spec.filling_mode, wire::SYMBOL_FILLING_IOC) ? 0 : wire::TRADE_RETCODE_INVALID_FILL;
    case wire::ORDER_FILLING_RETURN:
      return rests ? 0 : wire::TRADE_RETCODE_INVALID_FILL;
    default:
      return wire::TRADE_RETCODE_INVALID_FILL;
  }
}

std::uint32_t CheckOpening(const market::SymbolSpec& spec, bool buy) {
  const bool allowed = spec.trade_mode == wire::SYMBOL_TRADE_MODE_FULL ||
                       (buy && spec.trade_mode == wire::SYMBOL_TRADE_MODE_LONGONLY) ||
                       (!buy && spec.trade_mode == wire::SYMBOL_TRADE_MODE_SHORTONLY);
  return allowed ? 0 : wire::TRADE_RETCODE_TRADE_DISABLED;
}

std::uint32_t CheckClosing(const market::SymbolSpec& spec) {
  return spec.trade_mode == wire::SYMBOL_TRADE_MODE_DISABLED ? wire::TRADE_RETCODE_TRADE_DISABLED : 0;
}

std::uint32_t CheckOrderKind(const market::SymbolSpec& spec, std::uint32_t order_type, double sl, double tp) {
  const bool allowed = Allows(spec.order_mode, OrderTypeOf(order_type).order_mode) &&
                       (sl == 0.0 || Allows(spec.order_mode, wire::SYMBOL_ORDER_SL)) &&
                       (tp == 0.0 || Allows(spec.order_mode, wire::SYMBOL_ORDER_TP));
  return allowed ? 0 : wire::TRADE_RETCODE_INVALID;
}

std::uint32_t CheckStops(const market::SymbolSpec& spec, bool buy, double reference, double sl, double tp) {
  if (sl < 0.0 || tp < 0.0) return wire::TRADE_RETCODE_INVALID_STOPS;
  const std::int64_t gap = std::max(spec.stops_level, 1);
  const std::int64_t ref = ToPoints(spec, reference);
  // Distances in points, positive when the stop lies on its proper side.
  const std::int64_t sl_gap = buy ? ref - ToPoints(spec, sl) : ToPoints(spec, sl) - ref;
  const std::int64_t tp_gap = buy ? ToPoints(spec, tp) - ref : ref - ToPoints(spec, tp);
  if ((sl != 0.0 && sl_gap < gap) || (tp != 0.0 && tp_gap < gap)) return wire::TRADE_RETCODE_INVALID_STOPS;
  return 0;
}

std::uint32_t CheckPendingPrice(const market::SymbolSpec& spec, std::uint32_t type, const Quote& quote, double price,
                                double stoplimit) {
  if (!(price > 0.0)) return wire::TRADE_RETCODE_INVALID_PRICE;
  const OrderType& row = OrderTypeOf(type);
  const std::int64_t p = ToPoints(spec, price);
  const std::int64_t watched = row.buy() ? quote.ask_points : quote.bid_points;
  bool valid = Reaches(row.reach, watched, p, std::max(spec.stops_level, 1));
  // An order that becomes another pending one: its stoplimit where that one
  // waits for the market, which is then at this order's price.
  const OrderType& next = OrderTypeOf(row.becomes);
  if (valid && next.pending()) valid = stoplimit > 0.0 && Reaches(next.reach, p, ToPoints(spec, stoplimit), 0);
  return valid ? 0 : wire::TRADE_RETCODE_INVALID_PRICE;
}

std::uint32_t CheckExpiration(const market::SymbolSpec& spec, std::uint32_t type_time, std::int64_t expiration,
                              std::int64_t now_ms) {
  const std::int32_t bit = ExpirationBit(type_time);
  if (bit == 0 || !Allows(spec.expiration_mode, bit)) return wire::TRADE_RETCODE_INVALID_EXPIRATION;
  const bool dated = type_time == wire::ORDER_TIME_SPECIFIED || type_time == wire::ORDER_TIME_SPECIFIED_DAY;
  if (dated && ExpiryMs(type_time, expiration, now_ms) <= now_ms) return wire::TRADE_RETCODE_INVALID_EXPIRATION;
  return 0;
}

std::int64_t ExpiryMs(std::uint32_t type_time, std::int64_t expiration, std::int64_t setup_msc) {
  // Far-off expirations saturate rather than overflow.
  const std::int64_t expiration_ms = expiration > INT64_MAX / 2000   ? INT64_MAX / 2
                                     : expiration < INT64_MIN / 2000 ? INT64_MIN / 2
                                                                     : expiration * 1000;
  switch (type_time) {
    case wire::ORDER_TIME_DAY:
      return EndOfDayMs(setup_msc);
    case wire::ORDER_TIME_SPECIFIED:
      return expiration_ms;
    case wire::ORDER_TIME_SPECIFIED_DAY:
      return EndOfDayMs(expiration_ms);
    default:
      return INT64_MAX;
  }
}

}  // namespace vl5::terminal::trading
