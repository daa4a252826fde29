// Checks of a trade request against the symbol's rules and the market. Each
// answers a trade return code, or 0 when the request passes it.
#pragma once

#include <cstdint>

#include "terminal/model/market/symbol_spec.h"
#include "terminal/model/trading/order_types.h"
#include "terminal/model/trading/quote.h"
#include "terminal/model/trading/trade_request.h"
#include "terminal/model/trading/trade_types.h"

namespace vl5::terminal::trading {

// Every number of the request finite: a NaN or an infinity slips through the
// comparisons below (and rounds to some far-off price). INVALID_VOLUME,
// INVALID_PRICE (price, stoplimit) or INVALID_STOPS (sl, tp).
std::uint32_t CheckFinite(const TradeRequest& request);

// Within volume_min and volume_max and a whole number of volume_step.
std::uint32_t CheckVolume(const market::SymbolSpec& spec, double volume);

// FOK and IOC as the symbol's filling_mode bits allow; RETURN leaves a
// remainder in the book, so only an order that can rest there may ask for
// it (`rests`: a pending order, or a market order against the book).
std::uint32_t CheckFilling(const market::SymbolSpec& spec, std::uint32_t filling, bool rests);

// The symbol's trade mode allows opening a position of this side.
std::uint32_t CheckOpening(const market::SymbolSpec& spec, bool buy);

// The symbol's trade mode allows closing a position at all.
std::uint32_t CheckClosing(const market::SymbolSpec& spec);

// The symbol's order_mode bits allow this kind of order and these stops.
std::uint32_t CheckOrderKind(const market::SymbolSpec& spec, std::uint32_t order_type, double sl, double tp);

// Stop loss below and take profit above `reference` for a buy, the other way
// round for a sell, each at least stops_level points (and one point) away.
// The reference is the price the position opens at, or for an open position
// the price it would close at now. 0 means no stop.
std::uint32_t CheckStops(const market::SymbolSpec& spec, bool buy, double reference, double sl, double tp);

// A pending price on the side of the market the order waits for: limits
// below the ask to buy and above the bid to sell, stops the other way round;
// a stop-limit's limit price not beyond its stop price.
std::uint32_t CheckPendingPrice(const market::SymbolSpec& spec, std::uint32_t type, const Quote& quote, double price,
                                double stoplimit);

// A known expiry policy that the symbol allows, and an expiry in the future.
std::uint32_t CheckExpiration(const market::SymbolSpec& spec, std::uint32_t type_time, std::int64_t expiration,
                              std::int64_t now_ms);

// When a pending order stops being valid, in Unix milliseconds: the end of
// its day, or of the day of its expiration, or the expiration itself;
// INT64_MAX for an order good till cancelled.
std::int64_t ExpiryMs(std::uint32_t type_time, std::int64_t expiration, std::int64_t setup_msc);

}  // namespace vl5::terminal::trading
