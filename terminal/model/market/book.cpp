#include "terminal/model/market/book.h"

#include <algorithm>
#include <cmath>

#include "terminal/base/hash.h"
#include "src/wire/market_codes.h"
#include "src/wire/records.h"

namespace vl5::terminal::market {

namespace {

double LevelVolume(const SymbolSpec& spec, std::uint64_t h, int level) {
  // Around a hundred minimum lots at the touch, more further out.
  const double lots = spec.volume_step * 100.0 * (1.0 + level) * (0.5 + Unit(h));
  return std::max(spec.volume_step, std::round(lots / spec.volume_step) * spec.volume_step);
}

}  // namespace

std::vector<BookEntry> BookAround(const SymbolSpec& spec, const Tick& current, std::uint64_t seed) {
  const std::int64_t step = std::max<std::int64_t>(1, (current.ask - current.bid) / 2);
  const std::uint64_t stream =
      Hash(seed, HashName(spec.name.data(), spec.name.size()), static_cast<std::uint64_t>(current.time_msc));
  const int depth = static_cast<int>(spec.book_depth);
  std::vector<BookEntry> entries;
  entries.reserve(2 * static_cast<std::size_t>(depth));
  for (int level = depth - 1; level >= 0; --level) {
    entries.push_back({wire::BOOK_TYPE_SELL, current.ask + level * step,
                       LevelVolume(spec, Hash(stream, 1, static_cast<std::uint64_t>(level)), level)});
  }
  for (int level = 0; level < depth; ++level) {
    entries.push_back({wire::BOOK_TYPE_BUY, current.bid - level * step,
                       LevelVolume(spec, Hash(stream, 2, static_cast<std::uint64_t>(level)), level)});
  }
  return entries;
}

void WriteBookRecord(const SymbolSpec& spec, const BookEntry& entry, std::uint8_t* out) {
  using wire::FindField;
  using wire::kBookInfoFields;
  wire::Store(out, FindField(kBookInfoFields, "type")->offset, entry.type);
  wire::Store(out, FindField(kBookInfoFields, "price")->offset, spec.Price(entry.price));
  // The whole-number volume never shows less than one unit.
  wire::Store(out, FindField(kBookInfoFields, "volume")->offset,
              static_cast<std::uint64_t>(std::max(1.0, std::round(entry.volume))));
  wire::Store(out, FindField(kBookInfoFields, "volume_dbl")->offset, entry.volume);
}

}  // namespace vl5::terminal::market
