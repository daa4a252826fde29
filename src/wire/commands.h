// Command ids of the request protocol: the one list shared by the module and
// the terminal.
#pragma once

#include <cstdint>

namespace vl5::wire {

enum Command : std::uint32_t {
  kCmdVersion = 1,
  kCmdHello = 4,
  kCmdLogin = 5,
  kCmdCopyTicksFrom = 104,
  kCmdCopyTicksRange = 105,
  kCmdCopyRatesFrom = 106,
  kCmdCopyRatesRange = 107,
  kCmdCopyRatesFromPos = 108,
  kCmdTerminalState = 109,
  kCmdPositionsTotal = 120,
  kCmdPositionsGet = 121,
  kCmdPositionsGetSymbol = 122,
  kCmdPositionsGetTicket = 123,
  kCmdOrdersTotal = 130,
  kCmdOrdersGet = 131,
  kCmdOrdersGetSymbol = 132,
  kCmdOrdersGetTicket = 133,
  kCmdHistoryOrdersTotal = 140,
  kCmdHistoryOrdersGet = 141,
  kCmdHistoryOrdersGetPosition = 142,
  kCmdHistoryOrdersGetTicket = 143,
  kCmdHistoryDealsTotal = 150,
  kCmdHistoryDealsGet = 151,
  kCmdHistoryDealsGetPosition = 152,
  kCmdHistoryDealsGetTicket = 153,
  kCmdOrderCheck = 160,
  kCmdOrderSend = 161,
  kCmdOrderCalcMargin = 162,
  kCmdOrderCalcProfit = 163,
  kCmdSymbolInfo = 170,
  kCmdSymbolSelect = 171,
  kCmdSymbolInfoTick = 172,
  kCmdSymbolsTotal = 173,
  kCmdSymbolsGet = 174,
  kCmdSymbolsGetGroup = 175,
  kCmdTerminalInfo = 180,
  kCmdAccountInfo = 190,
  kCmdMarketBookAdd = 191,
  kCmdMarketBookRelease = 192,
  kCmdMarketBookGet = 193,
  // terminal64's own control requests, for velmora5.sim; the module never
  // sends them. Each answers a 64-bit moment in Unix milliseconds.
  kCmdClockNow = 9001,        // no arguments
  kCmdClockAdvanceTo = 9002,  // int64 target moment
  kCmdClockNextBar = 9003,    // counted symbol name, int32 timeframe
};

// Words carried by fixed requests.
inline constexpr std::uint32_t kHelloWord = 3;
inline constexpr char16_t kHelloClientName[] = u"Python";
inline constexpr std::uint32_t kLoginWord = 0;
inline constexpr std::uint32_t kVersionWord = 0;

// Values of the terminal state poll.
inline constexpr std::uint32_t kStateReady = 2;
inline constexpr std::uint32_t kStateAuthorizationFailed = 3;

// Build from which the terminal serves the long symbol record and the symbol list.
inline constexpr std::uint32_t kMinBuildSymbols = 2364;

// Pipe names are this prefix followed by the 64 hex digits of the path digest.
inline constexpr char16_t kPipeNamePrefix[] = u"VL5.Terminal.";

}  // namespace vl5::wire
