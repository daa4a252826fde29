// The 851-byte account record.
#pragma once

#include <cstdint>
#include <vector>

#include "terminal/model/account/account.h"

namespace vl5::terminal {

std::vector<std::uint8_t> BuildAccountRecord(const Account& account, bool trade_expert);

}  // namespace vl5::terminal
