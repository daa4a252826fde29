// Timeframe calendar: bar numbering, opening times, weeks and months.
#include <gtest/gtest.h>

#include "terminal/base/calendar.h"
#include "src/wire/market_codes.h"

namespace vl5::terminal::market {
namespace {

constexpr std::int32_t kAll[] = {wire::TIMEFRAME_M1,  wire::TIMEFRAME_M2,  wire::TIMEFRAME_M3,  wire::TIMEFRAME_M4,
                                 wire::TIMEFRAME_M5,  wire::TIMEFRAME_M6,  wire::TIMEFRAME_M10, wire::TIMEFRAME_M12,
                                 wire::TIMEFRAME_M15, wire::TIMEFRAME_M20, wire::TIMEFRAME_M30, wire::TIMEFRAME_H1,
                                 wire::TIMEFRAME_H2,  wire::TIMEFRAME_H3,  wire::TIMEFRAME_H4,  wire::TIMEFRAME_H6,
                                 wire::TIMEFRAME_H8,  wire::TIMEFRAME_H12, wire::TIMEFRAME_D1,  wire::TIMEFRAME_W1,
                                 wire::TIMEFRAME_MN1};

TEST(CalendarTest, OnlyTheTwentyOneTimeframesAreValid) {
  for (std::int32_t tf : kAll) EXPECT_TRUE(ValidTimeframe(tf)) << tf;
  for (std::int32_t tf : {0, -1, 7, 61, 1441, 10081, 43201}) EXPECT_FALSE(ValidTimeframe(tf)) << tf;
}

TEST(CalendarTest, EveryMomentLiesInItsBarAndBarsFollowEachOther) {
  const std::int64_t moments[] = {946684800, 1700000000, 1709251199, 1709251200, 1234567890, 951782400};
  for (std::int32_t tf : kAll) {
    for (std::int64_t t : moments) {
      const std::int64_t index = BarIndex(tf, t);
      EXPECT_LE(BarOpen(tf, index), t) << tf;
      EXPECT_GT(BarOpen(tf, index + 1), t) << tf;
      EXPECT_EQ(BarIndex(tf, BarOpen(tf, index)), index) << tf;
      if (tf <= wire::TIMEFRAME_W1) {
        EXPECT_EQ(BarOpen(tf, index + 1) - BarOpen(tf, index), std::int64_t{tf} * 60);
      }
    }
  }
}

TEST(CalendarTest, WeeksOpenOnSundayAndMonthsOnTheFirst) {
  // 2023-11-14 22:13:20 UTC is a Tuesday: its week opened on Sunday 2023-11-12.
  EXPECT_EQ(BarOpen(wire::TIMEFRAME_W1, BarIndex(wire::TIMEFRAME_W1, 1700000000)), 1699747200);
  EXPECT_EQ(BarOpen(wire::TIMEFRAME_MN1, BarIndex(wire::TIMEFRAME_MN1, 1700000000)), 1698796800);  // 2023-11-01
  // A leap February: 2024-02-01 to 2024-03-01 is 29 days.
  const std::int64_t feb = BarIndex(wire::TIMEFRAME_MN1, 1706745600);
  EXPECT_EQ(BarOpen(wire::TIMEFRAME_MN1, feb + 1) - BarOpen(wire::TIMEFRAME_MN1, feb), 29 * 86400);
  EXPECT_EQ(BarIndex(wire::TIMEFRAME_MN1, 0), 0);
}

TEST(CalendarTest, CivilDatesRoundTrip) {
  for (std::int64_t days = -800000; days < 800000; days += 997) {
    std::int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    EXPECT_EQ(DaysFromCivil(year, month, day), days);
  }
  EXPECT_EQ(DaysFromCivil(2000, 1, 1), 10957);
}

TEST(CalendarTest, FloorDivisionRoundsDown) {
  EXPECT_EQ(FloorDiv(7, 2), 3);
  EXPECT_EQ(FloorDiv(-7, 2), -4);
  EXPECT_EQ(FloorDiv(-8, 2), -4);
}

}  // namespace
}  // namespace vl5::terminal::market
