// Bars, ticks and depth-of-market entries as their 60- and 28-byte wire
// records. Offsets come from the field tables of wire/records.h, resolved at
// compile time, because a million bars are written per reply.
#pragma once

#include <cstdint>

#include "terminal/model/market/bars.h"
#include "terminal/model/market/price_path.h"
#include "terminal/model/market/symbol_spec.h"

namespace vl5::terminal::market {

void WriteRateRecord(const SymbolSpec& spec, const Bar& bar, std::uint8_t* out);
void WriteTickRecord(const SymbolSpec& spec, const Tick& tick, std::uint8_t* out);

}  // namespace vl5::terminal::market
