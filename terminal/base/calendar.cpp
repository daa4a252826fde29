#include "terminal/base/calendar.h"

#include <algorithm>

#include "src/wire/market_codes.h"

namespace vl5::terminal::market {

namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kWeek = 7 * kDay;
// 1970-01-04, the first Sunday of Unix time: weeks are counted from there.
constexpr std::int64_t kFirstSunday = 3 * kDay;

}  // namespace

bool ValidTimeframe(std::int32_t timeframe) {
  switch (timeframe) {
    case wire::TIMEFRAME_M1:
    case wire::TIMEFRAME_M2:
    case wire::TIMEFRAME_M3:
    case wire::TIMEFRAME_M4:
    case wire::TIMEFRAME_M5:
    case wire::TIMEFRAME_M6:
    case wire::TIMEFRAME_M10:
    case wire::TIMEFRAME_M12:
    case wire::TIMEFRAME_M15:
    case wire::TIMEFRAME_M20:
    case wire::TIMEFRAME_M30:
    case wire::TIMEFRAME_H1:
    case wire::TIMEFRAME_H2:
    case wire::TIMEFRAME_H3:
    case wire::TIMEFRAME_H4:
    case wire::TIMEFRAME_H6:
    case wire::TIMEFRAME_H8:
    case wire::TIMEFRAME_H12:
    case wire::TIMEFRAME_D1:
    case wire::TIMEFRAME_W1:
    case wire::TIMEFRAME_MN1:
      return true;
    default:
      return false;
  }
}

// The usual era-based civil calendar conversions (400-year cycles).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = FloorDiv(year, 400);
  const std::int64_t yoe = year - era * 400;
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, std::int64_t* year, int* month, int* day) {
  days += 719468;
  const std::int64_t era = FloorDiv(days, 146097);
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = yoe + era * 400 + (*month <= 2 ? 1 : 0);
}

std::int64_t BarIndex(std::int32_t timeframe, std::int64_t seconds) {
  seconds = std::clamp(seconds, kEarliestSeconds, kLatestSeconds);
  if (timeframe == wire::TIMEFRAME_W1) return FloorDiv(seconds - kFirstSunday, kWeek);
  if (timeframe == wire::TIMEFRAME_MN1) {
    std::int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(FloorDiv(seconds, kDay), &year, &month, &day);
    return (year - 1970) * 12 + (month - 1);
  }
  return FloorDiv(seconds, static_cast<std::int64_t>(timeframe) * 60);
}

std::int64_t BarOpen(std::int32_t timeframe, std::int64_t index) {
  if (timeframe == wire::TIMEFRAME_W1) return index * kWeek + kFirstSunday;
  if (timeframe == wire::TIMEFRAME_MN1) {
    const std::int64_t year = 1970 + FloorDiv(index, 12);
    const int month = static_cast<int>(index - FloorDiv(index, 12) * 12) + 1;
    return DaysFromCivil(year, month, 1) * kDay;
  }
  return index * static_cast<std::int64_t>(timeframe) * 60;
}

}  // namespace vl5::terminal::market
