// Immutable values kept within a budget of entries: the least recently used
// entry goes first, so the memory held stays bounded however many keys are
// asked for. Values are shared and never changed once kept, so a reader
// keeps using what it found while others replace or drop it.
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace vl5::terminal::market {

template <typename Key, typename Value>
class LruCache {
 public:
  // At most `capacity` entries (at least one) are kept.
  explicit LruCache(std::size_t capacity) : capacity_(capacity > 0 ? capacity : 1) {}
  LruCache(const LruCache&) = delete;
  LruCache& operator=(const LruCache&) = delete;

  std::size_t capacity() const { return capacity_; }
  // How many entries are kept now.
  std::size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return kept_.size();
  }

  // The value of `key`, now the most recently used; nullptr when not kept.
  // Thread-safe, as is Keep.
  std::shared_ptr<const Value> Find(const Key& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = kept_.find(key);
    if (it == kept_.end()) return nullptr;
    uses_.splice(uses_.begin(), uses_, it->second.use);
    return it->second.value;
  }

  // Keeps `value` for `key`, dropping the least recently used entry when
  // over the budget.
  void Keep(const Key& key, std::shared_ptr<const Value> value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto it = kept_.find(key); it != kept_.end()) {
      it->second.value = std::move(value);
      uses_.splice(uses_.begin(), uses_, it->second.use);
      return;
    }
    if (kept_.size() >= capacity_) {
      kept_.erase(uses_.back());
      uses_.pop_back();
    }
    uses_.push_front(key);
    kept_.emplace(key, Entry{std::move(value), uses_.begin()});
  }

 private:
  struct Entry {
    std::shared_ptr<const Value> value;
    typename std::list<Key>::iterator use;  // its place in uses_
  };

  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::list<Key> uses_;  // most recently used first
  std::map<Key, Entry> kept_;
};

}  // namespace vl5::terminal::market
