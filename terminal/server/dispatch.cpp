#include "terminal/server/dispatch.h"

#include "terminal/server/handlers/clock_handlers.h"
#include "terminal/server/handlers/info_handlers.h"
#include "terminal/server/handlers/market_handlers.h"
#include "terminal/server/handlers/rates_handlers.h"
#include "terminal/server/handlers/session_handlers.h"
#include "terminal/server/handlers/trading_handlers.h"
#include "terminal/server/request_boundary.h"
#include "src/wire/commands.h"
#include "src/wire/status.h"

namespace vl5::terminal::server {

namespace {

struct Route {
  std::uint32_t command;
  Handler handler;
};

constexpr Route kRoutes[] = {
    {wire::kCmdVersion, handlers::Version},
    {wire::kCmdHello, handlers::Hello},
    {wire::kCmdLogin, handlers::Login},
    {wire::kCmdTerminalState, handlers::State},
    {wire::kCmdPositionsTotal, handlers::PositionsTotal},
    {wire::kCmdPositionsGet, handlers::PositionsGet},
    {wire::kCmdPositionsGetSymbol, handlers::PositionsGetSymbol},
    {wire::kCmdPositionsGetTicket, handlers::PositionsGetTicket},
    {wire::kCmdOrdersTotal, handlers::OrdersTotal},
    {wire::kCmdOrdersGet, handlers::OrdersGet},
    {wire::kCmdOrdersGetSymbol, handlers::OrdersGetSymbol},
    {wire::kCmdOrdersGetTicket, handlers::OrdersGetTicket},
    {wire::kCmdHistoryOrdersTotal, handlers::HistoryOrdersTotal},
    {wire::kCmdHistoryOrdersGet, handlers::HistoryOrdersGet},
    {wire::kCmdHistoryOrdersGetPosition, handlers::HistoryOrdersGetPosition},
    {wire::kCmdHistoryOrdersGetTicket, handlers::HistoryOrdersGetTicket},
    {wire::kCmdHistoryDealsTotal, handlers::HistoryDealsTotal},
    {wire::kCmdHistoryDealsGet, handlers::HistoryDealsGet},
    {wire::kCmdHistoryDealsGetPosition, handlers::HistoryDealsGetPosition},
    {wire::kCmdHistoryDealsGetTicket, handlers::HistoryDealsGetTicket},
    {wire::kCmdOrderCheck, handlers::OrderCheck},
    {wire::kCmdOrderSend, handlers::OrderSend},
    {wire::kCmdOrderCalcMargin, handlers::OrderCalcMargin},
    {wire::kCmdOrderCalcProfit, handlers::OrderCalcProfit},
    {wire::kCmdCopyTicksFrom, handlers::CopyTicksFrom},
    {wire::kCmdCopyTicksRange, handlers::CopyTicksRange},
    {wire::kCmdCopyRatesFrom, handlers::CopyRatesFrom},
    {wire::kCmdCopyRatesRange, handlers::CopyRatesRange},
    {wire::kCmdCopyRatesFromPos, handlers::CopyRatesFromPos},
    {wire::kCmdSymbolInfo, handlers::SymbolInfo},
    {wire::kCmdSymbolSelect, handlers::SymbolSelect},
    {wire::kCmdSymbolInfoTick, handlers::SymbolInfoTick},
    {wire::kCmdSymbolsTotal, handlers::SymbolsTotal},
    {wire::kCmdSymbolsGet, handlers::SymbolsGet},
    {wire::kCmdSymbolsGetGroup, handlers::SymbolsGetGroup},
    {wire::kCmdMarketBookAdd, handlers::MarketBookAdd},
    {wire::kCmdMarketBookRelease, handlers::MarketBookRelease},
    {wire::kCmdMarketBookGet, handlers::MarketBookGet},
    {wire::kCmdTerminalInfo, handlers::TerminalInfo},
    {wire::kCmdAccountInfo, handlers::AccountInfo},
    {wire::kCmdClockNow, handlers::ClockNow},
    {wire::kCmdClockAdvanceTo, handlers::ClockAdvanceTo},
    {wire::kCmdClockNextBar, handlers::ClockNextBar},
};

}  // namespace

Handler FindHandler(std::uint32_t command) {
  for (const Route& route : kRoutes) {
    if (route.command == command) return route.handler;
  }
  return nullptr;
}

void Dispatch(Context& context, std::uint32_t command, const std::uint8_t* payload, std::size_t size,
              ReplyWriter& reply) {
  Handler handler = FindHandler(command);
  if (handler == nullptr) {
    reply.Status(wire::kTerminalCallFailed);
    return;
  }
  Payload in(payload, size);
  CallHandler(handler, command, context, in, reply);
  // A handler that forgot to answer must not leave the client waiting.
  if (!reply.replied()) reply.Status(wire::kTerminalCallFailed);
}

}  // namespace vl5::terminal::server
