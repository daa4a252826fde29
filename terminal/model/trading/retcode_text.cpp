#include "terminal/model/trading/retcode_text.h"

#include "src/wire/trade_codes.h"

namespace vl5::terminal::trading {

std::u16string_view RetcodeComment(std::uint32_t retcode) {
  switch (retcode) {
    case 0:
      return u"Done";
    case wire::TRADE_RETCODE_REQUOTE:
      return u"Requote";
    case wire::TRADE_RETCODE_REJECT:
      return u"Request rejected";
    case wire::TRADE_RETCODE_PLACED:
      return u"Order placed";
    case wire::TRADE_RETCODE_DONE:
      return u"Request executed";
    case wire::TRADE_RETCODE_DONE_PARTIAL:
      return u"Request executed in part";
    case wire::TRADE_RETCODE_INVALID:
      return u"Invalid request";
    case wire::TRADE_RETCODE_INVALID_VOLUME:
      return u"Invalid volume";
    case wire::TRADE_RETCODE_INVALID_PRICE:
      return u"Invalid price";
    case wire::TRADE_RETCODE_INVALID_STOPS:
      return u"Invalid stops";
    case wire::TRADE_RETCODE_TRADE_DISABLED:
      return u"Trading disabled for the symbol";
    case wire::TRADE_RETCODE_MARKET_CLOSED:
      return u"Market closed";
    case wire::TRADE_RETCODE_NO_MONEY:
      return u"No money";
    case wire::TRADE_RETCODE_PRICE_CHANGED:
      return u"Price changed";
    case wire::TRADE_RETCODE_INVALID_EXPIRATION:
      return u"Invalid expiration";
    case wire::TRADE_RETCODE_ORDER_CHANGED:
      return u"Order changed";
    case wire::TRADE_RETCODE_CLIENT_DISABLES_AT:
      return u"Trading disabled in the terminal";
    case wire::TRADE_RETCODE_INVALID_FILL:
      return u"Unsupported filling mode";
    case wire::TRADE_RETCODE_LIMIT_ORDERS:
      return u"Too many pending orders";
    case wire::TRADE_RETCODE_INVALID_ORDER:
      return u"Order not found";
    case wire::TRADE_RETCODE_POSITION_CLOSED:
      return u"Position not found";
    default:
      return u"Request failed";
  }
}

}  // namespace vl5::terminal::trading
