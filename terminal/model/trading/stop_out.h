// Margin safety. While the account's margin level (equity over margin, in
// percent) is below its stop-out level, the most losing position whose
// market is open is closed at the market, with the stop-out reason, one at a
// time until the level recovers.
//
// Between requests the engine walks each symbol's ticks; the trigger below
// watches the price at which that symbol's positions would take the account
// below the level, the rest of the account valued as it stood when the walk
// began. It errs early (the closing is decided on the exact figures when it
// fires), and every trade event and every request checks the exact figures.
#pragma once

#include <cstddef>
#include <optional>

#include "terminal/model/trading/desk.h"
#include "terminal/model/trading/trigger_levels.h"

namespace vl5::terminal::trading {

bool BelowStopOut(const Account& account);

// Closes positions as long as the account is below its stop-out level.
void StopOut(Desk& desk);

// Where `symbol`'s bid would take the account below the stop-out level.
std::optional<Trigger> StopOutTrigger(const Desk& desk, std::size_t symbol);

}  // namespace vl5::terminal::trading
