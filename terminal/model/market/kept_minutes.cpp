#include "terminal/model/market/kept_minutes.h"

namespace vl5::terminal::market {

std::size_t KeptMinutes::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return kept_.size();
}

std::shared_ptr<const DayMinutes> KeptMinutes::Find(const void* owner, std::int64_t day) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = kept_.find(Key{owner, day});
  if (it == kept_.end()) return nullptr;
  uses_.splice(uses_.begin(), uses_, it->second.use);
  return it->second.minutes;
}

void KeptMinutes::Keep(const void* owner, std::int64_t day, std::shared_ptr<const DayMinutes> minutes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Key key{owner, day};
  if (const auto it = kept_.find(key); it != kept_.end()) {
    it->second.minutes = std::move(minutes);
    uses_.splice(uses_.begin(), uses_, it->second.use);
    return;
  }
  if (kept_.size() >= capacity_) {
    kept_.erase(uses_.back());
    uses_.pop_back();
  }
  uses_.push_front(key);
  kept_.emplace(key, Entry{std::move(minutes), uses_.begin()});
}

}  // namespace vl5::terminal::market
