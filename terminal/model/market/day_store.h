// Daily bars of completed days saved per symbol in the data folder
// ("bases/<symbol>.days"), so that a restarted terminal answers D1, W1 and
// MN1 requests over the whole history at once. A file is read only from a
// folder of this user alone, as a regular file of this user's of bounded
// size, and used only when it matches the symbol's price path and every bar
// in it is well formed; anything else is ignored and rewritten.
#pragma once

#include <string>

#include "terminal/model/market/day_cache.h"
#include "terminal/model/market/price_path.h"

namespace vl5::terminal::market {

// Adds the days saved in `data_folder` to `days`; false when there is no
// usable file.
bool LoadDays(const std::u16string& data_folder, const PricePath& path, DayCache* days);
// Saves the days `days` knows; false when the file cannot be written.
bool SaveDays(const std::u16string& data_folder, const PricePath& path, DayCache* days);

// The file's bytes, and back (false for anything but a file of this path).
std::string EncodeDays(const PricePath& path, std::int64_t first_day, const std::vector<Bar>& bars);
bool DecodeDays(const std::string& bytes, const PricePath& path, std::int64_t first_day, std::vector<Bar>* bars);

}  // namespace vl5::terminal::market
