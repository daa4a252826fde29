// Time zones from the system's zone database: offsets and local times
// against known values, and zone files that must be refused.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "terminal/base/calendar.h"
#include "terminal/base/time_zone.h"
#include "terminal/base/zone_files.h"

namespace vl5::terminal {
namespace {

// Against the system's zone database, its owners, modes and FIFOs: POSIX only.
#ifndef _WIN32

std::int64_t Utc(int year, int month, int day, int hour, int minute = 0) {
  return market::DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60;
}

std::shared_ptr<const TimeZone> Zone(const char* name) {
  std::string error;
  std::shared_ptr<const TimeZone> zone = LoadTimeZone(name, &error);
  EXPECT_NE(zone, nullptr) << name << ": " << error;
  return zone;
}

TEST(TimeZoneTest, OffsetsOfSystemZonesAtKnownInstants) {
  const struct {
    const char* zone;
    std::int64_t utc;
    std::int32_t offset;
  } rows[] = {
      {"America/New_York", Utc(2024, 7, 1, 12), -4 * 3600},
      {"America/New_York", Utc(2024, 1, 15, 12), -5 * 3600},
      // Summer time begins 2024-03-10 at 02:00 EST (07:00 UTC), ends 2024-11-03 at 02:00 EDT (06:00 UTC).
      {"America/New_York", Utc(2024, 3, 10, 7) - 1, -5 * 3600},
      {"America/New_York", Utc(2024, 3, 10, 7), -4 * 3600},
      {"America/New_York", Utc(2024, 11, 3, 6) - 1, -4 * 3600},
      {"America/New_York", Utc(2024, 11, 3, 6), -5 * 3600},
      // Past the file's transitions the footer's rule answers.
      {"America/New_York", Utc(2100, 7, 1, 12), -4 * 3600},
      {"America/New_York", Utc(2100, 3, 14, 7), -4 * 3600},  // second Sunday of March 2100
      {"America/New_York", Utc(2100, 3, 14, 7) - 1, -5 * 3600},
      {"America/New_York", Utc(2600, 12, 1, 0), -5 * 3600},
      // Southern summer spans the new year: AEDT from the first Sunday of October to that of April.
      {"Australia/Sydney", Utc(2024, 1, 15, 0), 11 * 3600},
      {"Australia/Sydney", Utc(2024, 7, 15, 0), 10 * 3600},
      {"Australia/Sydney", Utc(2024, 4, 6, 16) - 1, 11 * 3600},  // 2024-04-07 03:00 AEDT
      {"Australia/Sydney", Utc(2024, 4, 6, 16), 10 * 3600},
      {"Australia/Sydney", Utc(2300, 1, 15, 0), 11 * 3600},
      {"Australia/Sydney", Utc(2300, 7, 15, 0), 10 * 3600},
      {"Australia/Sydney", Utc(2600, 1, 15, 0), 11 * 3600},
      {"Australia/Sydney", Utc(2600, 7, 15, 0), 10 * 3600},
      {"UTC", Utc(2024, 7, 1, 12), 0},
  };
  for (const auto& row : rows) {
    const std::shared_ptr<const TimeZone> zone = Zone(row.zone);
    ASSERT_NE(zone, nullptr);
    EXPECT_EQ(zone->OffsetAt(row.utc), row.offset) << row.zone << " at " << row.utc;
  }
}

TEST(TimeZoneTest, LocalTimesSkippedAndRepeatedByTheClockChange) {
  const std::shared_ptr<const TimeZone> ny = Zone("America/New_York");
  ASSERT_NE(ny, nullptr);
  const struct {
    std::int64_t local;
    std::int64_t utc;
  } rows[] = {
      {Utc(2024, 7, 1, 9, 30), Utc(2024, 7, 1, 13, 30)},
      {Utc(2024, 1, 2, 9, 30), Utc(2024, 1, 2, 14, 30)},
      {Utc(2024, 3, 10, 2, 30), Utc(2024, 3, 10, 7)},  // skipped: the moment of the change
      {Utc(2024, 3, 10, 3, 0), Utc(2024, 3, 10, 7)},
      {Utc(2024, 11, 3, 1, 30), Utc(2024, 11, 3, 5, 30)},  // repeated: the first time, still EDT
      {Utc(2024, 11, 3, 2, 0), Utc(2024, 11, 3, 7)},
      {Utc(2100, 3, 14, 2, 30), Utc(2100, 3, 14, 7)},  // the rule's skipped hour
  };
  for (const auto& row : rows) EXPECT_EQ(ny->LocalToUtc(row.local), row.utc) << row.local;
}

// A minimal TZif file: one transition at `at` from type 0 to type 1, then `rule`.
std::string OneTransition(std::int64_t at, std::int32_t before, std::int32_t after, const std::string& rule) {
  auto be = [](std::uint64_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(v >> (8 * i) & 0xff);
    return out;
  };
  auto header = [&](std::uint32_t times, std::uint32_t types, std::uint32_t chars) {
    return std::string("TZif2") + std::string(15, '\0') + be(0, 4) + be(0, 4) + be(0, 4) + be(times, 4) + be(types, 4) +
           be(chars, 4);
  };
  auto type = [&](std::int32_t offset, int isdst, int abbr) {
    return be(static_cast<std::uint32_t>(offset), 4) + static_cast<char>(isdst) + static_cast<char>(abbr);
  };
  const std::string v1 = header(0, 1, 4) + type(before, 0, 0) + std::string("LMT\0", 4);
  const std::string v2 = header(1, 2, 8) + be(static_cast<std::uint64_t>(at), 8) + std::string(1, '\1') +
                         type(before, 0, 0) + type(after, 0, 4) + std::string("LMT\0EST\0", 8);
  return v1 + v2 + "\n" + rule + "\n";
}

TEST(TimeZoneTest, ATransitionAtTheEdgeOfTimeLoadsAtOnce) {
  // The rule is listed from the year of the last transition: here 292 billion years ago.
  std::string error;
  const std::shared_ptr<const TimeZone> zone = TimeZone::Parse(
      "Edge", OneTransition(-(std::int64_t{1} << 62), -17762, -5 * 3600, "EST5EDT,M3.2.0,M11.1.0"), &error);
  ASSERT_NE(zone, nullptr) << error;
  EXPECT_EQ(zone->OffsetAt(Utc(2024, 7, 1, 12)), -4 * 3600);
  EXPECT_EQ(zone->OffsetAt(Utc(2024, 1, 15, 12)), -5 * 3600);
  EXPECT_EQ(zone->OffsetAt(-(std::int64_t{1} << 62) - 1), -17762);
}

// A folder the test owns, set as the zone folder for its lifetime.
class ZoneFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vl5_zones_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    const char* old = std::getenv("TZDIR");
    if (old != nullptr) old_ = old;
    had_ = old != nullptr;
    setenv("TZDIR", folder_.c_str(), 1);
    std::ifstream in("/usr/share/zoneinfo/America/New_York", std::ios::binary);
    ny_.assign(std::istreambuf_iterator<char>(in), {});
    ASSERT_GT(ny_.size(), 100u);
  }
  void TearDown() override {
    if (had_) {
      setenv("TZDIR", old_.c_str(), 1);
    } else {
      unsetenv("TZDIR");
    }
    std::filesystem::remove_all(folder_);
  }
  void Write(const std::string& name, const std::string& bytes, mode_t mode = 0644) {
    const std::filesystem::path path = std::filesystem::path(folder_) / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    chmod(path.c_str(), mode);
  }

  std::string folder_, old_, ny_;
  bool had_ = false;
};

TEST_F(ZoneFolderTest, MalformedUntrustedAndStrangeFilesAreRefusedWithAReason) {
  std::string truncated_footer = ny_;
  truncated_footer.pop_back();  // the footer's closing newline
  std::string version1 = ny_;
  version1[4] = '\0';
  // The 64-bit section: its header, then the transition times and their type indexes.
  const std::size_t v2 = ny_.find("TZif", 4);
  ASSERT_NE(v2, std::string::npos);
  const auto count = [&](std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(ny_.data() + v2 + at);
    return std::size_t{p[0]} << 24 | std::size_t{p[1]} << 16 | std::size_t{p[2]} << 8 | p[3];
  };
  std::string bad_counts = ny_;
  bad_counts[v2 + 23] = 1;  // one UT indicator for several types
  std::string bad_index = ny_;
  bad_index[v2 + 44 + count(32) * 8 + 3] = static_cast<char>(0xff);
  std::string huge_count = ny_;
  huge_count[v2 + 32] = static_cast<char>(0xff);  // billions of transitions
  Write("Cut/Header", ny_.substr(0, 30));
  Write("Cut/Data", ny_.substr(0, ny_.size() / 2));
  Write("Cut/Footer", truncated_footer);
  Write("Old/Version1", version1);
  Write("Bad/Counts", bad_counts);
  Write("Bad/Index", bad_index);
  Write("Bad/Huge", huge_count);
  Write("Bad/Text", "not a zone file at all, but long enough to have a header of forty-four bytes");
  Write("Bad/Rule", ny_.substr(0, ny_.rfind('\n', ny_.size() - 2)) + "\nEST5EDT,M13.2.0,M11.1.0\n");
  Write("Open/Writable", ny_, 0666);
  ASSERT_EQ(mkfifo((folder_ + "/Fifo").c_str(), 0644), 0);
  const struct {
    const char* name;
    const char* reason;
  } rows[] = {
      {"Cut/Header", "not a TZif file"},
      {"Cut/Data", "truncated"},
      {"Cut/Footer", "bad footer"},
      {"Old/Version1", "version 1"},
      {"Bad/Counts", "inconsistent counts"},
      {"Bad/Index", "unknown type"},
      {"Bad/Huge", "truncated"},
      {"Bad/Text", "not a TZif file"},
      {"Bad/Rule", "bad rule"},
      {"Open/Writable", "writable by others"},
      {"Fifo", "not a regular file"},
      {"Nowhere/Zone", "unknown time zone"},
      {"../etc/passwd", "not a time zone name"},
      {"/etc/passwd", "not a time zone name"},
      {"America//New_York", "not a time zone name"},
      {"America/New York", "not a time zone name"},
  };
  for (const auto& row : rows) {
    std::string error;
    EXPECT_EQ(LoadTimeZone(row.name, &error), nullptr) << row.name;
    EXPECT_NE(error.find(row.reason), std::string::npos) << row.name << ": " << error;
  }
  // The same bytes, whole and private, are a zone.
  Write("Good/Zone", ny_);
  std::string error;
  const std::shared_ptr<const TimeZone> good = LoadTimeZone("Good/Zone", &error);
  ASSERT_NE(good, nullptr) << error;
  EXPECT_EQ(good->OffsetAt(Utc(2024, 7, 1, 12)), -4 * 3600);
}

TEST_F(ZoneFolderTest, AZoneFolderWithoutTheFileFallsBackToTheBuiltInCopy) {
  // An empty zone folder: the built-in New York still answers, an unknown zone does not.
  std::string error;
  const std::shared_ptr<const TimeZone> ny = LoadTimeZone("America/New_York", &error);
  ASSERT_NE(ny, nullptr) << error;
  EXPECT_EQ(ny->OffsetAt(Utc(2024, 1, 15, 12)), -5 * 3600);
  EXPECT_EQ(LoadTimeZone("Europe/London", &error), nullptr);
}

#endif  // _WIN32

}  // namespace
}  // namespace vl5::terminal
