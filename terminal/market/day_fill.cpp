#include "terminal/market/day_fill.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <sched.h>
#endif

#include "terminal/market/calendar.h"

namespace vl5::terminal::market {

namespace {

// Only time no client wants: the fill never slows a request.
void LowestPriority() {
#ifdef _WIN32
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
#elif defined(SCHED_IDLE)
  sched_param param{};
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
#endif
}

}  // namespace

DayFill::DayFill(const Market& market, std::int64_t now_ms)
    : thread_([this, &market, today = FloorDiv(now_ms, 86400LL * 1000)] { Run(market, today); }) {}

DayFill::~DayFill() {
  stop_ = true;
  thread_.join();
}

void DayFill::Run(const Market& market, std::int64_t today) {
  LowestPriority();
  for (std::size_t i = 0; i < market.size() && !stop_; ++i) {
    const PricePath& path = market.path(i);
    DayCache* days = market.days(i);
    const std::int64_t first = FloorDiv(path.first_minute(), 1440);
    for (std::int64_t day = today - 1; day >= first && !stop_; --day) {
      if (!days->HasDay(path, day)) days->CompletedDay(path, day);
    }
  }
  done_ = true;
}

}  // namespace vl5::terminal::market
