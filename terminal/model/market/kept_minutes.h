// The minute bars of recently asked days, kept for every symbol of the
// market together within one budget of days: the least recently used day
// goes first, whichever symbol it belongs to, so the memory held stays
// bounded however many symbols clients ask for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

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
  explicit KeptMinutes(std::size_t days = kDefaultDays) : capacity_(days > 0 ? days : 1) {}
  KeptMinutes(const KeptMinutes&) = delete;
  KeptMinutes& operator=(const KeptMinutes&) = delete;

  std::size_t capacity() const { return capacity_; }
  // How many days are kept now.
  std::size_t size() const;

  // The minutes of `owner`'s day `day`, now the most recently used; nullptr
  // when not kept. Thread-safe, as is Keep.
  std::shared_ptr<const DayMinutes> Find(const void* owner, std::int64_t day);
  // Keeps them, dropping the least recently used day when over the budget.
  void Keep(const void* owner, std::int64_t day, std::shared_ptr<const DayMinutes> minutes);

 private:
  using Key = std::pair<const void*, std::int64_t>;
  struct Entry {
    std::shared_ptr<const DayMinutes> minutes;
    std::list<Key>::iterator use;  // its place in uses_
  };

  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::list<Key> uses_;  // most recently used first
  std::map<Key, Entry> kept_;
};

}  // namespace vl5::terminal::market
