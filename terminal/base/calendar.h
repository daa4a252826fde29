// Timeframes as calendar arithmetic: which bar a moment falls into and when
// a bar opens. Bars are numbered so that consecutive bars have consecutive
// indexes; W1 bars open on Sunday 00:00 UTC, MN1 bars on the first of a month.
#pragma once

#include <cstdint>

namespace vl5::terminal::market {

bool ValidTimeframe(std::int32_t timeframe);

// Years 1 to 9999: every bar that can exist lies far inside. Dates from a
// request are saturated to this range before any calendar arithmetic, so
// that none of it can overflow.
inline constexpr std::int64_t kEarliestSeconds = -62135596800;
inline constexpr std::int64_t kLatestSeconds = 253402300799;

// Index of the bar holding `seconds` (Unix time, any value: saturated to the
// range above); a timeframe must be valid.
std::int64_t BarIndex(std::int32_t timeframe, std::int64_t seconds);
// Opening time of bar `index`, in Unix seconds; `index` lies within a few
// billion bars of an index BarIndex gave.
std::int64_t BarOpen(std::int32_t timeframe, std::int64_t index);

// Floor division, correct for negative numerators.
inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01 for a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);
void CivilFromDays(std::int64_t days, std::int64_t* year, int* month, int* day);

}  // namespace vl5::terminal::market
