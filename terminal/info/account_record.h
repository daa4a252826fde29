// The 851-byte account record.
#pragma once

#include <cstdint>
#include <vector>

#include "terminal/account/account.h"

namespace vl5::terminal {

// `misses` (optional) receives the number of fields the builder could not place.
std::vector<std::uint8_t> BuildAccountRecord(const Account& account, bool trade_expert, int* misses = nullptr);

}  // namespace vl5::terminal
