// A time zone as the system's zone database describes it: the compiled zone
// files (TZif, version 2 or later) with their transitions, and the rule of
// the file's footer for times past the last of them. Times are Unix seconds
// throughout; an offset is what local time adds to UTC, in seconds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vl5::terminal {

// A stretch of time with one UTC offset: [start, end), and the offset of
// the stretch before it (equal to `offset` for the first).
struct ZonePeriod {
  std::int64_t start = INT64_MIN;
  std::int64_t end = INT64_MAX;
  std::int32_t offset = 0;
  std::int32_t previous_offset = 0;
};

class TimeZone {
 public:
  // UTC itself.
  TimeZone();
  // A zone from the bytes of its compiled file; nullptr with a message for
  // a file that is not a well-formed TZif file of version 2 or later.
  static std::shared_ptr<const TimeZone> Parse(std::string name, std::string_view bytes, std::string* error);

  const std::string& name() const { return name_; }
  // Tells zones apart, by name and content, for caches keyed by them.
  std::uint64_t fingerprint() const { return fingerprint_; }

  std::int32_t OffsetAt(std::int64_t utc) const { return PeriodAt(utc).offset; }
  ZonePeriod PeriodAt(std::int64_t utc) const;
  // The UTC instant of a local time. A local time that happens twice (the
  // hour repeated when clocks go back) gives the first; one that never
  // happens (the hour skipped when they go forward) gives the moment of the
  // change, the first instant whose local time is later.
  std::int64_t LocalToUtc(std::int64_t local) const;

  struct Change {
    std::int64_t at;      // first second of the new offset
    std::int32_t offset;  // from `at` on
  };
  // A rule for the years after the transitions in the file: standard time,
  // and summer time between two dates of each year when `summer` is set.
  struct Rule {
    std::int32_t standard = 0;
    bool summer = false;
    std::int32_t summer_offset = 0;
    struct Date {
      char kind = 'M';  // 'M' month.week.day, 'J' 1..365 without Feb 29, 'D' 0..365
      int month = 0, week = 0, day = 0;
      std::int32_t time = 7200;  // local seconds into the day, -167 h .. 167 h
    } begins, ends;
  };

 private:
  ZonePeriod RulePeriodAt(std::int64_t utc) const;
  void AddRuleChanges(std::int64_t year, std::vector<Change>* changes) const;

  std::string name_;
  std::uint64_t fingerprint_ = 0;
  std::vector<Change> changes_;         // ascending; the first at INT64_MIN
  std::int64_t table_end_ = INT64_MAX;  // past this the rule answers
  Rule rule_;
};

// The footer's rule ("EST5EDT,M3.2.0,M11.1.0"); false for text that is not one.
bool ParseZoneRule(std::string_view text, TimeZone::Rule* rule);

}  // namespace vl5::terminal
