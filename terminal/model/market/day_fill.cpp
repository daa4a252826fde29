#include "terminal/model/market/day_fill.h"

#include "src/link/os/thread.h"
#include "terminal/base/calendar.h"
#include "terminal/model/market/day_store.h"

namespace vl5::terminal::market {

namespace {

// Days computed between two saves, so that progress outlives an abrupt end.
constexpr int kSaveEvery = 4096;

}  // namespace

DayFill::DayFill(const Market& market, std::int64_t now_ms, std::u16string data_folder)
    : data_folder_(std::move(data_folder)) {
  for (std::size_t i = 0; i < market.size(); ++i) {
    const PricePath& path = market.path(i);
    loaded_.push_back(path.source().KeepsDays() && LoadDays(data_folder_, path, market.days(i)));
  }
  thread_ = std::thread([this, &market, today = FloorDiv(now_ms, 86400LL * 1000)] { Run(market, today); });
}

DayFill::~DayFill() {
  stop_ = true;
  thread_.join();
}

void DayFill::Run(const Market& market, std::int64_t today) {
  // Time that requests leave over: the fill never competes with a client.
  os::RunAtIdlePriority();
  for (std::size_t i = 0; i < market.size() && !stop_; ++i) {
    const PricePath& path = market.path(i);
    if (!path.source().KeepsDays()) continue;
    DayCache* days = market.days(i);
    const std::int64_t first = FloorDiv(path.first_minute(), 1440);
    int computed = 0;
    for (std::int64_t day = today - 1; day >= first && !stop_; --day) {
      if (days->HasDay(path, day)) continue;
      days->CompletedDay(path, day);
      if (++computed % kSaveEvery == 0) SaveDays(data_folder_, path, days);
    }
    if (!loaded_[i] || computed % kSaveEvery != 0) SaveDays(data_folder_, path, days);
  }
}

}  // namespace vl5::terminal::market
