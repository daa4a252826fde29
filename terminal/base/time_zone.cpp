#include "terminal/base/time_zone.h"

#include <algorithm>

#include "terminal/base/calendar.h"

namespace vl5::terminal {

namespace {

using market::DaysFromCivil;
using market::FloorDiv;
using market::kEarliestSeconds;
using market::kLatestSeconds;

constexpr std::size_t kHeaderSize = 44;
// The rule's changes are listed up to this year; past it they are worked out
// for the year asked.
constexpr std::int64_t kTableYears = 2400;
// The widest offset a file may give: 25:59:59 either way.
constexpr std::int32_t kMaxOffset = 93599;

std::uint32_t Be32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::int64_t Be64(const unsigned char* p) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(Be32(p)) << 32 | Be32(p + 4));
}

struct Counts {
  std::uint64_t isut, isstd, leap, time, type, chars;
  // Bytes of the data block after the header, with times of `time_size` bytes.
  std::uint64_t Block(std::uint64_t time_size) const {
    return time * time_size + time + type * 6 + chars + leap * (time_size + 4) + isstd + isut;
  }
};

bool ReadHeader(std::string_view bytes, std::size_t at, Counts* c, char* version) {
  if (bytes.size() - at < kHeaderSize || bytes.compare(at, 4, "TZif") != 0) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
  *version = static_cast<char>(p[4]);
  *c = Counts{Be32(p + 20), Be32(p + 24), Be32(p + 28), Be32(p + 32), Be32(p + 36), Be32(p + 40)};
  return true;
}

std::uint64_t Fnv(std::uint64_t h, std::string_view bytes) {
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001B3ULL;
  return h;
}

bool IsLeap(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::int64_t YearOf(std::int64_t seconds) {
  std::int64_t year = 0;
  int month = 0, day = 0;
  market::CivilFromDays(FloorDiv(seconds, 86400), &year, &month, &day);
  return year;
}

// Days since 1970 of a rule's date in `year`.
std::int64_t RuleDay(std::int64_t year, const TimeZone::Rule::Date& date) {
  const std::int64_t january = DaysFromCivil(year, 1, 1);
  if (date.kind == 'J') return january + date.day - 1 + (IsLeap(year) && date.day >= 60 ? 1 : 0);
  if (date.kind == 'D') return january + date.day;
  const std::int64_t first = DaysFromCivil(year, date.month, 1);
  const std::int64_t next = date.month == 12 ? DaysFromCivil(year + 1, 1, 1) : DaysFromCivil(year, date.month + 1, 1);
  const std::int64_t weekday = first + 4 - FloorDiv(first + 4, 7) * 7;  // 1970-01-01 was a Thursday
  std::int64_t day = first + (date.day - weekday + 7) % 7 + (date.week - 1) * 7;
  while (day >= next) day -= 7;  // week 5: the last such day of the month
  return day;
}

// Appends `change` unless it keeps the offset already in force.
void Append(std::vector<TimeZone::Change>* changes, TimeZone::Change change) {
  if (changes->empty() || changes->back().offset != change.offset) changes->push_back(change);
}

}  // namespace

TimeZone::TimeZone() : name_("UTC"), fingerprint_(Fnv(0xCBF29CE484222325ULL, "UTC")), changes_{{INT64_MIN, 0}} {}

std::shared_ptr<const TimeZone> TimeZone::Parse(std::string name, std::string_view bytes, std::string* error) {
  auto fail = [&](const char* why) {
    *error = "zone file " + name + ": " + why;
    return nullptr;
  };
  Counts v1{};
  char version = 0;
  if (!ReadHeader(bytes, 0, &v1, &version)) return fail("not a TZif file");
  if (version < '2') return fail("version 1 files are not read (no 64-bit times)");
  const std::uint64_t skip = kHeaderSize + v1.Block(4);
  if (skip > bytes.size()) return fail("truncated");
  Counts c{};
  if (!ReadHeader(bytes, static_cast<std::size_t>(skip), &c, &version) || version < '2') {
    return fail("no 64-bit section");
  }
  const std::size_t data = static_cast<std::size_t>(skip) + kHeaderSize;
  if (c.Block(8) > bytes.size() - data) return fail("truncated");
  if (c.type == 0 || c.type > 256 || c.chars == 0 || (c.isstd != 0 && c.isstd != c.type) ||
      (c.isut != 0 && c.isut != c.type)) {
    return fail("inconsistent counts");
  }
  if (c.leap != 0) return fail("leap-second files are not read");
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + data);
  const unsigned char* times = p;
  const unsigned char* indexes = times + c.time * 8;
  const unsigned char* types = indexes + c.time;
  std::vector<std::int32_t> offsets;
  for (std::uint64_t i = 0; i < c.type; ++i) {
    const unsigned char* t = types + i * 6;
    const auto offset = static_cast<std::int32_t>(Be32(t));
    if (offset < -kMaxOffset || offset > kMaxOffset || t[4] > 1 || t[5] >= c.chars) return fail("bad local time type");
    offsets.push_back(offset);
  }
  auto zone = std::shared_ptr<TimeZone>(new TimeZone());
  zone->name_ = name;
  zone->changes_ = {{INT64_MIN, offsets[0]}};
  std::int64_t last = INT64_MIN;
  for (std::uint64_t i = 0; i < c.time; ++i) {
    const std::int64_t at = Be64(times + i * 8);
    if (at <= last || at == INT64_MIN) return fail("transitions out of order");
    if (indexes[i] >= c.type) return fail("transition to an unknown type");
    last = at;
    Append(&zone->changes_, Change{at, offsets[indexes[i]]});
  }
  // The footer: the rule between two newlines, ending the file.
  const std::size_t footer = data + static_cast<std::size_t>(c.Block(8));
  const std::size_t close = bytes.find('\n', footer + 1);
  if (footer >= bytes.size() || bytes[footer] != '\n' || close != bytes.size() - 1) return fail("bad footer");
  const std::string_view text = bytes.substr(footer + 1, close - footer - 1);
  Rule& rule = zone->rule_;
  rule.standard = zone->changes_.back().offset;
  if (!text.empty() && !ParseZoneRule(text, &rule)) return fail("bad rule in the footer");
  if (!rule.summer) {
    if (rule.standard != zone->changes_.back().offset) return fail("the footer disagrees with the last transition");
  } else {
    // A file's last transition may lie anywhere: the years listed stay few.
    const std::int64_t from = c.time == 0 ? 1970 : std::clamp<std::int64_t>(YearOf(last), 1800, kTableYears);
    std::vector<Change> year;
    for (std::int64_t y = from; y <= kTableYears; ++y) {
      year.clear();
      zone->AddRuleChanges(y, &year);
      for (const Change& change : year) {
        if (change.at > zone->changes_.back().at) Append(&zone->changes_, change);
      }
    }
    zone->table_end_ = zone->changes_.back().at;
  }
  zone->fingerprint_ = Fnv(Fnv(0xCBF29CE484222325ULL, name), bytes);
  return zone;
}

void TimeZone::AddRuleChanges(std::int64_t year, std::vector<Change>* changes) const {
  Change begins{RuleDay(year, rule_.begins) * 86400 + rule_.begins.time - rule_.standard, rule_.summer_offset};
  Change ends{RuleDay(year, rule_.ends) * 86400 + rule_.ends.time - rule_.summer_offset, rule_.standard};
  if (ends.at < begins.at) std::swap(begins, ends);  // southern summers span the new year
  changes->push_back(begins);
  changes->push_back(ends);
}

ZonePeriod TimeZone::RulePeriodAt(std::int64_t utc) const {
  std::vector<Change> changes;
  const std::int64_t year = YearOf(utc);
  for (std::int64_t y = year - 1; y <= year + 1; ++y) AddRuleChanges(y, &changes);
  std::size_t i = 0;
  while (i + 1 < changes.size() && changes[i + 1].at <= utc) ++i;
  ZonePeriod period{changes[i].at, i + 1 < changes.size() ? changes[i + 1].at : INT64_MAX, changes[i].offset,
                    i > 0 ? changes[i - 1].offset : changes[i].offset};
  if (changes[0].at > utc) period = ZonePeriod{INT64_MIN, changes[0].at, rule_.standard, rule_.standard};
  return period;
}

ZonePeriod TimeZone::PeriodAt(std::int64_t utc) const {
  if (utc > kLatestSeconds) {
    // Beyond the calendar the offset of its end holds for ever.
    ZonePeriod last = PeriodAt(kLatestSeconds);
    last.end = INT64_MAX;
    return last;
  }
  if (utc >= table_end_) return RulePeriodAt(utc);
  const auto next = std::upper_bound(changes_.begin(), changes_.end(), utc,
                                     [](std::int64_t t, const Change& change) { return t < change.at; });
  const std::size_t i = static_cast<std::size_t>(next - changes_.begin()) - 1;
  return ZonePeriod{changes_[i].at, next != changes_.end() ? next->at : INT64_MAX, changes_[i].offset,
                    i > 0 ? changes_[i - 1].offset : changes_[i].offset};
}

std::int64_t TimeZone::LocalToUtc(std::int64_t local) const {
  local = std::clamp(local, kEarliestSeconds, kLatestSeconds);
  // Every answer lies within the widest offset of `local`; periods come in
  // order, so the first that holds it gives the earliest instant.
  ZonePeriod period = PeriodAt(local - kMaxOffset - 1);
  for (int guard = 0; guard < 1000; ++guard) {
    const std::int64_t utc = local - period.offset;
    if (period.start <= utc && utc < period.end) return utc;
    // Skipped: before the change the old offset is already past it, after it the new one not yet there.
    if (period.start != INT64_MIN && local - period.previous_offset >= period.start && utc < period.start) {
      return period.start;
    }
    if (period.end == INT64_MAX || period.start > local + kMaxOffset) break;
    period = PeriodAt(period.end);
  }
  return local - OffsetAt(local);
}

}  // namespace vl5::terminal
