// Depth of market around the current quote: ten sell levels above the ask
// and ten buy levels below the bid, listed from the highest price down, with
// volumes that grow away from the spread. It follows the current tick, so
// it changes as the terminal clock moves.
#pragma once

#include <cstdint>
#include <vector>

#include "terminal/model/market/price_path.h"
#include "terminal/model/market/symbol_spec.h"

namespace vl5::terminal::market {

struct BookEntry {
  std::uint32_t type = 0;  // BOOK_TYPE_SELL or BOOK_TYPE_BUY
  std::int64_t price = 0;  // points
  double volume = 0.0;     // lots, a multiple of the volume step
};

std::vector<BookEntry> BookAround(const SymbolSpec& spec, const Tick& current, std::uint64_t seed);

// The 28-byte wire entry.
void WriteBookRecord(const SymbolSpec& spec, const BookEntry& entry, std::uint8_t* out);

}  // namespace vl5::terminal::market
