// Daily bars of completed days kept between runs in this user's cache folder
// ("days/<symbol>-<fingerprint>.days"), so that later terminals of the same
// user, whatever their data folder, answer D1, W1 and MN1 requests over the
// whole history without walking its minutes again. The name holds everything
// the prices depend on (seed, generator version, the symbol and its trading
// hours), and so does the file, which is checked on load. A file is read only
// from a folder of this user alone, as a regular file of this user's of
// bounded size (no link followed, no FIFO waited on), and used only when it
// matches the symbol's price path and every bar in it is well formed;
// anything else is ignored and replaced. Files are written whole beside
// their place and renamed over it, so a terminal killed while saving, or two
// saving at once, never leave a torn file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "terminal/model/market/catalog.h"
#include "terminal/model/market/day_cache.h"
#include "terminal/model/market/price_path.h"

namespace vl5::terminal::market {

class DayStore {
 public:
  // Keeps files below `cache_folder` (made when missing, used only while it
  // is this user's alone); an empty one keeps nothing.
  explicit DayStore(const std::u16string& cache_folder);

  // Adds the days kept for `path` to `days`; false when there is no usable
  // file.
  bool Load(const PricePath& path, DayCache* days) const;
  // Adds what the file holds now (another terminal may have saved since),
  // then saves every day `days` knows; false when nothing was written.
  bool Save(const PricePath& path, DayCache* days) const;
  // The file of `path`; empty when nothing is kept for it.
  std::u16string File(const PricePath& path) const;

 private:
  std::u16string Parent() const;  // the cache folder

  std::u16string folder_;  // <cache>/days; empty: nothing kept
};

// The cache folder a `cache_dir` setting names: empty for this user's own
// (os::UserCacheFolder), "none" for nowhere (returned empty).
std::u16string CacheFolderOf(const std::string& setting);

// Lets the symbols whose days are worth keeping keep them in `store`: loaded
// when a request first needs their days, saved as requests compute them.
// Before any request.
void KeepDays(const Market& market, const std::shared_ptr<const DayStore>& store);
// Saves what requests computed since the last save (at a clean exit).
void SaveKeptDays(const Market& market);

// The file's bytes, and back (false for anything but a file of this path).
std::string EncodeDays(const PricePath& path, std::int64_t first_day, const std::vector<Bar>& bars);
bool DecodeDays(const std::string& bytes, const PricePath& path, std::int64_t first_day, std::vector<Bar>* bars);

}  // namespace vl5::terminal::market
