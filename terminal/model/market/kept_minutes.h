// The minute bars of recently asked days, kept for every symbol of the
// market together within one budget of days: the least recently used day
// goes first, whichever symbol it belongs to, so the memory held stays
// bounded however many symbols clients ask for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "terminal/model/market/lru_cache.h"

namespace vl5::terminal::market {

// One minute's bar in 32 bytes; prices relative to the open, which a
// minute's range keeps far inside 32 bits.
struct MinuteBar {
  std::int64_t open = 0;
  std::int32_t high = 0;
  std::int32_t low = 0;
  std::int32_t close = 0;
  std::int32_t spread = 0;
  std::uint32_t tick_volume = 0;
  std::uint32_t real_volume = 0;
};

inline constexpr int kMinutesPerDay = 1440;
using DayMinutes = std::vector<MinuteBar>;  // kMinutesPerDay of them, from 00:00 UTC

class KeptMinutes {
 public:
  // 46 KB a day: about 47 MB in all, enough for a million M1 bars of one
  // symbol that trades five days a week.
  static constexpr std::size_t kDefaultDays = 1024;

  // At most `days` days (at least one) are kept.
  explicit KeptMinutes(std::size_t days = kDefaultDays) : days_(days) {}

  std::size_t capacity() const { return days_.capacity(); }
  // How many days are kept now.
  std::size_t size() const { return days_.size(); }

  // The minutes of `owner`'s day `day`, now the most recently used; nullptr
  // when not kept. Thread-safe, as is Keep.
  std::shared_ptr<const DayMinutes> Find(const void* owner, std::int64_t day) { return days_.Find({owner, day}); }
  // Keeps them, dropping the least recently used day when over the budget.
  void Keep(const void* owner, std::int64_t day, std::shared_ptr<const DayMinutes> minutes) {
    days_.Keep({owner, day}, std::move(minutes));
  }

 private:
  LruCache<std::pair<const void*, std::int64_t>, DayMinutes> days_;
};

}  // namespace vl5::terminal::market
