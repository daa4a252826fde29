#include "terminal/model/market/price_path.h"

#include <algorithm>

namespace vl5::terminal::market {

PricePath::PricePath(const SymbolSpec& spec, std::uint64_t seed, std::shared_ptr<const History> history)
    : spec_(&spec), source_(MakePriceSource(spec, seed, std::move(history))), first_minute_(source_->FirstMinute()) {}

TickWalker::TickWalker(const PriceSource& source, std::int64_t minute)
    : source_(source), walk_(source.Walk()), minute_(minute) {
  // The first tick's change flags compare with the minute before it.
  if (minute > source.FirstMinute()) walk_->Fill(minute - 1, &current_);
}

const MinuteTicks& TickWalker::Next() {
  walk_->Fill(minute_, &current_);
  ++minute_;
  return current_;
}

const MinuteTicks* TickWalker::NextWithTicks(std::int64_t last_minute) {
  while (minute_ <= last_minute) {
    const MinuteTicks& ticks = Next();
    if (ticks.count > 0) return &ticks;
    // The empty minute left no quote to compare with, as a walk through every
    // minute would find at the next one.
    minute_ = std::max(minute_, source_.NextTickMinute(minute_));
  }
  return nullptr;
}

}  // namespace vl5::terminal::market
