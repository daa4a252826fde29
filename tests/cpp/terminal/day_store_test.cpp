// Saved daily bars: a file comes back as it was saved, and one that belongs
// to another path or holds a malformed bar is refused whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "terminal/model/market/catalog.h"
#include "terminal/model/market/day_store.h"
#include "tests/cpp/terminal/market_fixture.h"

namespace vl5::terminal::market {
namespace {

using testing::IndexOf;

TEST(DayStoreTest, SavedDaysComeBackAndForeignOrMalformedFilesAreRefused) {
  Market market(DefaultSymbols(), 4), other_seed(DefaultSymbols(), 5);
  const std::size_t index = IndexOf(market, u"BTCUSD");  // trades every day: no day without ticks
  const PricePath& path = market.path(index);
  const std::int64_t first_day = path.first_minute() / 1440;
  std::vector<Bar> days(6);  // the fourth unknown
  for (std::int64_t day : {0, 1, 2, 4, 5}) {
    days[static_cast<std::size_t>(day)] = market.days(index)->CompletedDay(path, first_day + day);
  }
  const std::string bytes = EncodeDays(path, first_day, days);
  std::vector<Bar> back;
  ASSERT_TRUE(DecodeDays(bytes, path, first_day, &back));
  ASSERT_EQ(back.size(), days.size());
  for (std::size_t i = 0; i < days.size(); ++i) {
    EXPECT_EQ(back[i].time, days[i].time);
    EXPECT_EQ(back[i].high, days[i].high);
    EXPECT_EQ(back[i].close, days[i].close);
    EXPECT_EQ(back[i].tick_volume, days[i].tick_volume);
    EXPECT_EQ(back[i].real_volume, days[i].real_volume);
  }

  const auto tampered = [&](std::size_t offset, std::int64_t value) {
    std::string copy = bytes;
    std::memcpy(&copy[offset], &value, sizeof(value));
    return copy;
  };
  SymbolSpec weekdays = market.spec(index);
  weekdays.hours = TradingHours::Weekdays(0, 1440);
  const PricePath other_sessions(weekdays, 4);
  const std::size_t second_bar = 32 + 60;
  const struct {
    const char* what;
    std::string bytes;
    const PricePath* path;
  } refused[] = {
      {"another seed", bytes, &other_seed.path(index)},
      {"another symbol", bytes, &market.path(IndexOf(market, u"GBPUSD"))},
      {"other trading hours", bytes, &other_sessions},
      {"cut short", bytes.substr(0, bytes.size() - 1), &path},
      {"a count past the end", tampered(24, 7), &path},
      {"a huge count", tampered(24, INT64_MAX), &path},
      {"a bar at another time", tampered(second_bar, 12345), &path},
      {"a high below the open", tampered(second_bar + 16, 1), &path},
      {"prices on a day without ticks", tampered(second_bar + 40, 0), &path},
      {"a header only", bytes.substr(0, 20), &path},
  };
  for (const auto& c : refused) {
    std::vector<Bar> out;
    EXPECT_FALSE(DecodeDays(c.bytes, *c.path, c.path->first_minute() / 1440, &out)) << c.what;
    EXPECT_TRUE(out.empty()) << c.what;
  }
}

}  // namespace
}  // namespace vl5::terminal::market
