// The 851-byte account record.
#pragma once

#include <cstdint>
#include <vector>

#include "account/account.h"

namespace vl5::terminal {

// `misses` (optional) receives the number of fields the builder could not place.
std::vector<std::uint8_t> BuildAccountRecord(const Account& account, bool trade_expert, int* misses = nullptr);

// Codes of the account record, the terminal's own.
inline constexpr std::uint32_t kAccountTradeModeDemo = 0;
inline constexpr std::uint32_t kMarginStopOutPercent = 0;
inline constexpr std::uint32_t kMarginModeRetailHedging = 2;

}  // namespace vl5::terminal
