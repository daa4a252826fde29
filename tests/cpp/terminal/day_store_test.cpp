// Saved daily bars: a file comes back as it was saved, and one that belongs
// to another path or holds a malformed bar is refused whole; a later market
// of the same user reads what an earlier one computed, and nothing planted
// in the cache folder by anyone else.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "src/wire/text.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/market/day_store.h"
#include "tests/cpp/terminal/market_fixture.h"
#ifndef _WIN32
#include "tests/cpp/posix_fixture.h"
#endif

namespace vl5::terminal::market {
namespace {

using testing::IndexOf;
using testing::SameBar;

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

#ifndef _WIN32  // owners, modes and links of POSIX files
using test_support::TempDir;

std::u16string U(const std::string& utf8) { return wire::Utf8ToUtf16(utf8); }

// BTCUSD trades every day, so every day computed is a day with a bar.
struct Kept {
  explicit Kept(const std::string& cache) : market(DefaultSymbols(), 4), store(std::make_shared<DayStore>(U(cache))) {
    KeepDays(market, store);
  }
  const PricePath& path() const { return market.path(index); }
  DayCache* days() const { return market.days(index); }
  std::int64_t first_day() const { return path().first_minute() / 1440; }

  Market market;
  std::shared_ptr<const DayStore> store;
  std::size_t index = IndexOf(market, u"BTCUSD");
};

// Days one market computed for a request come to a later one (another
// terminal of the same user) from the cache folder: those of a request worth
// a save at once, the rest at a clean end.
TEST(DayStoreTest, ALaterMarketReadsTheDaysAnEarlierOneComputed) {
  TempDir dir;
  Kept first(dir / "cache");
  const std::int64_t day0 = first.first_day();
  first.days()->Prepare(first.path(), day0, day0 + 39, false);
  for (std::int64_t day = day0 + 40; day < day0 + 43; ++day) first.days()->CompletedDay(first.path(), day);

  Kept second(dir / "cache");
  second.days()->CompletedDay(second.path(), day0);  // the first need of its days reads the file
  for (std::int64_t day = day0; day < day0 + 43; ++day) {
    EXPECT_EQ(second.days()->HasDay(second.path(), day), day < day0 + 40) << day - day0;
  }

  SaveKeptDays(first.market);
  Kept third(dir / "cache");
  third.days()->CompletedDay(third.path(), day0);
  for (std::int64_t day = day0; day < day0 + 43; ++day) {
    ASSERT_TRUE(third.days()->HasDay(third.path(), day)) << day - day0;
    EXPECT_TRUE(SameBar(third.days()->CompletedDay(third.path(), day), first.days()->CompletedDay(first.path(), day)));
  }
}

// A good file read by a store whose folder, or the file itself, another
// user could have put there or changed is not read; nor a FIFO, which must
// not block the request either.
TEST(DayStoreTest, OnlyTheUsersOwnFilesInAPrivateFolderAreRead) {
  TempDir dir;
  Kept source(dir / "source");
  source.days()->Prepare(source.path(), source.first_day(), source.first_day() + 39, false);
  const std::string good = wire::Utf16ToUtf8(source.store->File(source.path()));
  const std::string name = good.substr(good.rfind('/'));
  struct Case {
    const char* what;
    std::function<void(const std::string& cache, const std::string& file)> plant;
    bool read;
  };
  const auto copy = [&](const std::string&, const std::string& file) {
    ASSERT_EQ(std::system(("cp '" + good + "' '" + file + "'").c_str()), 0);
  };
  const bool root = geteuid() == 0;  // only root can give a file away
  const Case cases[] = {
      {"a copy of the file", copy, true},
      {"a file others can write",
       [&](const std::string& c, const std::string& f) {
         copy(c, f);
         ASSERT_EQ(chmod(f.c_str(), 0606), 0);
       },
       false},
      {"another user's file",
       [&](const std::string& c, const std::string& f) {
         copy(c, f);
         if (root) {
           ASSERT_EQ(chown(f.c_str(), 65534, 65534), 0);
         }
       },
       !root},
      {"a symbolic link to the file",
       [&](const std::string&, const std::string& f) { ASSERT_EQ(symlink(good.c_str(), f.c_str()), 0); }, false},
      {"a FIFO", [](const std::string&, const std::string& f) { ASSERT_EQ(mkfifo(f.c_str(), 0600), 0); }, false},
      {"a cache folder others can write",
       [&](const std::string& c, const std::string& f) {
         copy(c, f);
         ASSERT_EQ(chmod(c.c_str(), 0777), 0);
       },
       false},
      {"a days folder that is a link to a good one",
       [&](const std::string& c, const std::string&) {
         ASSERT_EQ(rmdir((c + "/days").c_str()), 0);
         ASSERT_EQ(symlink((dir / "source/days").c_str(), (c + "/days").c_str()), 0);
       },
       false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string cache = dir / ("case" + std::to_string(n++));
    test_support::MakeDirs(cache + "/days");
    c.plant(cache, cache + "/days" + name);
    if (HasFatalFailure()) return;
    Kept planted(cache);
    const std::int64_t day0 = planted.first_day();
    planted.days()->CompletedDay(planted.path(), day0);
    EXPECT_EQ(planted.days()->HasDay(planted.path(), day0 + 1), c.read);
  }
}
#endif

}  // namespace
}  // namespace vl5::terminal::market
