#include "terminal/model/market/history_csv.h"

#include <algorithm>
#include <climits>

#include "terminal/model/clock.h"
#include "terminal/base/calendar.h"

namespace vl5::terminal::market {

namespace {

// Longer lines are no history record; refusing them bounds the carry.
constexpr std::size_t kMaxLine = 1024;
// Minute counts in a MinuteTicks are ints.
constexpr std::size_t kMaxRecords = INT_MAX;
// Prices up to 10^15 points keep every sum of points far inside 64 bits.
constexpr std::int64_t kMaxPoints = 1000000000000000;
constexpr std::int64_t kMaxSpread = 1000000;
// Every minute the clock allows, each at the largest volume, still sums
// inside 64 bits: bars of any length never wrap.
static_assert(kMaxVolume <= UINT64_MAX / static_cast<std::uint64_t>(kLatestClockSeconds / 60));

constexpr const char* kBarColumns[] = {"time", "open", "high", "low", "close", "tick_volume", "spread", "real_volume"};
constexpr const char* kTickColumns[] = {"time_msc", "bid", "ask", "last", "volume", "flags"};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Exactly `width` digits from *text on; consumed.
bool Digits(std::string_view* text, std::size_t width, int* value) {
  if (text->size() < width) return false;
  int v = 0;
  for (std::size_t i = 0; i < width; ++i) {
    if (!IsDigit((*text)[i])) return false;
    v = v * 10 + ((*text)[i] - '0');
  }
  text->remove_prefix(width);
  *value = v;
  return true;
}

bool Expect(std::string_view* text, std::string_view choices) {
  if (text->empty() || choices.find(text->front()) == std::string_view::npos) return false;
  text->remove_prefix(1);
  return true;
}

// A whole number of at most 19 digits, optionally followed by ".000".
bool ParseWhole(std::string_view text, std::uint64_t* value) {
  const std::size_t dot = text.find('.');
  if (dot != std::string_view::npos) {
    if (text.find_first_not_of('0', dot + 1) != std::string_view::npos) return false;
    text = text.substr(0, dot);
  }
  if (text.empty() || text.size() > 19) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  *value = v;
  return true;
}

// A volume of at most kMaxVolume.
bool ParseVolume(std::string_view text, std::uint64_t* value) {
  return ParseWhole(text, value) && *value <= kMaxVolume;
}

// A time in Unix milliseconds: a whole number of `unit_ms`, or a date and
// time; within 1970 to 2099.
bool ParseTime(std::string_view text, std::int64_t unit_ms, std::int64_t* ms) {
  std::int64_t value = 0;
  if (text.find_first_not_of("0123456789") == std::string_view::npos) {
    std::uint64_t whole = 0;
    if (!ParseWhole(text, &whole) || whole > static_cast<std::uint64_t>(kLatestClockSeconds) * 1000) return false;
    value = static_cast<std::int64_t>(whole) * unit_ms;
  } else {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0;
    if (!Digits(&text, 4, &year) || !Expect(&text, "-.") || !Digits(&text, 2, &month) || !Expect(&text, "-.") ||
        !Digits(&text, 2, &day) || !Expect(&text, " T") || !Digits(&text, 2, &hour) || !Expect(&text, ":") ||
        !Digits(&text, 2, &minute)) {
      return false;
    }
    if (!text.empty() && (!Expect(&text, ":") || !Digits(&text, 2, &second))) return false;
    if (!text.empty() && (!Expect(&text, ".") || !Digits(&text, 3, &milli) || !text.empty())) return false;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return false;
    const std::int64_t days = DaysFromCivil(year, month, day);
    std::int64_t check_year = 0;
    int check_month = 0, check_day = 0;
    CivilFromDays(days, &check_year, &check_month, &check_day);
    if (check_day != day) return false;  // the 31st of a 30-day month
    value = ((days * 24 + hour) * 60 + minute) * 60000 + second * 1000 + milli;
  }
  if (value < 0 || value >= kLatestClockSeconds * 1000) return false;
  *ms = value;
  return true;
}

// A decimal price in whole points of a symbol with `digits` digits.
bool ParsePrice(std::string_view text, int digits, std::int64_t* points) {
  const std::size_t dot = text.find('.');
  std::string_view whole = text.substr(0, dot);
  std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if (whole.empty() && fraction.empty()) return false;
  // Digits beyond the symbol's are allowed only as zeros.
  if (fraction.size() > static_cast<std::size_t>(digits)) {
    if (fraction.find_first_not_of('0', static_cast<std::size_t>(digits)) != std::string_view::npos) return false;
    fraction = fraction.substr(0, static_cast<std::size_t>(digits));
  }
  if (whole.size() > 15) return false;
  std::int64_t v = 0;
  for (char c : whole) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  for (int i = 0; i < digits; ++i) {
    const std::size_t at = static_cast<std::size_t>(i);
    const char c = at < fraction.size() ? fraction[at] : '0';
    if (!IsDigit(c)) return false;
    if (v > kMaxPoints) return false;
    v = v * 10 + (c - '0');
  }
  if (v > kMaxPoints) return false;
  *points = v;
  return true;
}

// Splits a line at commas into exactly `count` trimmed fields.
bool Split(std::string_view line, const char* const* columns, std::size_t count, std::string_view* fields,
           std::string* problem) {
  std::size_t n = 0;
  for (;;) {
    const std::size_t comma = line.find(',');
    if (n == count) {
      *problem = "more than " + std::to_string(count) + " columns";
      return false;
    }
    fields[n++] = Trim(line.substr(0, comma));
    if (comma == std::string_view::npos) break;
    line.remove_prefix(comma + 1);
  }
  if (n < count) {
    *problem = "missing column " + std::string(columns[n]);
    return false;
  }
  return true;
}

bool Refuse(std::string* problem, std::string text) {
  *problem = std::move(text);
  return false;
}

bool BadValue(std::string* problem, std::string_view field, const char* column) {
  return Refuse(problem, "bad value '" + std::string(field.substr(0, 40)) + "' in column " + column);
}

// What a bar of `timeframe` minutes opens at.
const char* BarStart(std::int32_t timeframe) {
  switch (timeframe) {
    case 60:
      return "a whole hour";
    case 1440:
      return "00:00 UTC of a day";
    default:
      return "a whole minute";
  }
}

bool ParseRecord(int digits, std::int32_t timeframe, std::string_view line, Bar* bar, std::string* problem) {
  std::string_view f[std::size(kBarColumns)];
  if (!Split(line, kBarColumns, std::size(kBarColumns), f, problem)) return false;
  std::int64_t ms = 0;
  if (!ParseTime(f[0], 1000, &ms)) return BadValue(problem, f[0], kBarColumns[0]);
  if (ms % (std::int64_t{timeframe} * 60000) != 0) {
    return Refuse(problem, "time " + std::string(f[0]) + " is not " + BarStart(timeframe));
  }
  bar->time = ms / 1000;
  std::int64_t* prices[] = {&bar->open, &bar->high, &bar->low, &bar->close};
  for (std::size_t i = 0; i < 4; ++i) {
    if (!ParsePrice(f[i + 1], digits, prices[i]) || *prices[i] <= 0) {
      return BadValue(problem, f[i + 1], kBarColumns[i + 1]);
    }
  }
  std::uint64_t spread = 0;
  if (!ParseVolume(f[5], &bar->tick_volume)) return BadValue(problem, f[5], kBarColumns[5]);
  if (!ParseWhole(f[6], &spread) || spread > kMaxSpread) return BadValue(problem, f[6], kBarColumns[6]);
  if (!ParseVolume(f[7], &bar->real_volume)) return BadValue(problem, f[7], kBarColumns[7]);
  bar->spread = static_cast<std::int32_t>(spread);
  if (bar->high < std::max(bar->open, bar->close) || bar->low > std::min(bar->open, bar->close)) {
    return Refuse(problem, "open and close must lie between low and high");
  }
  if (bar->tick_volume == 0) return Refuse(problem, "a bar needs a tick_volume of at least 1");
  return true;
}

bool ParseRecord(int digits, std::int32_t, std::string_view line, Tick* tick, std::string* problem) {
  std::string_view f[std::size(kTickColumns)];
  if (!Split(line, kTickColumns, std::size(kTickColumns), f, problem)) return false;
  if (!ParseTime(f[0], 1, &tick->time_msc)) return BadValue(problem, f[0], kTickColumns[0]);
  std::int64_t* prices[] = {&tick->bid, &tick->ask, &tick->last};
  for (std::size_t i = 0; i < 3; ++i) {
    if (!ParsePrice(f[i + 1], digits, prices[i])) return BadValue(problem, f[i + 1], kTickColumns[i + 1]);
  }
  std::uint64_t flags = 0;
  if (!ParseVolume(f[4], &tick->volume)) return BadValue(problem, f[4], kTickColumns[4]);
  if (!ParseWhole(f[5], &flags) || flags > UINT32_MAX) return BadValue(problem, f[5], kTickColumns[5]);
  tick->flags = static_cast<std::uint32_t>(flags);
  if (tick->bid <= 0 || tick->ask < tick->bid) return Refuse(problem, "needs 0 < bid <= ask");
  if (tick->ask - tick->bid > kMaxSpread) {
    return Refuse(problem, "ask lies more than " + std::to_string(kMaxSpread) + " points above bid");
  }
  return true;
}

// Bars open at different minutes; ticks may share a millisecond.
bool InOrder(const Bar& before, const Bar& bar) { return bar.time > before.time; }
bool InOrder(const Tick& before, const Tick& tick) { return tick.time_msc >= before.time_msc; }
const char* OrderRule(const Bar&) { return "is not after the line before"; }
const char* OrderRule(const Tick&) { return "is before the line before"; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

template <typename Record>
bool HistoryCsv<Record>::Feed(std::string_view piece) {
  if (!error_.empty()) return false;
  while (!piece.empty()) {
    const std::size_t end = piece.find('\n');
    const std::string_view part = piece.substr(0, end);
    if (carry_.size() + part.size() > kMaxLine) {
      error_ = "line " + std::to_string(line_ + 1) + ": longer than " + std::to_string(kMaxLine) + " bytes";
      return false;
    }
    if (end == std::string_view::npos) {
      carry_.append(part);
      return true;
    }
    piece.remove_prefix(end + 1);
    if (carry_.empty()) {
      if (!Line(part)) return false;
    } else {
      carry_.append(part);
      const std::string line = std::move(carry_);
      carry_.clear();
      if (!Line(line)) return false;
    }
  }
  return true;
}

template <typename Record>
bool HistoryCsv<Record>::Finish() {
  if (!error_.empty()) return false;
  if (!carry_.empty() && !Line(carry_)) return false;
  carry_.clear();
  return true;
}

template <typename Record>
bool HistoryCsv<Record>::Line(std::string_view text) {
  ++line_;
  text = Trim(text);
  if (text.empty()) return true;
  const bool first = !started_;
  started_ = true;
  if (first && IsLetter(text.front())) return true;  // the header
  std::string problem;
  Record record;
  if (!ParseRecord(digits_, timeframe_, text, &record, &problem)) {
    // problem says what
  } else if (!records_.empty() && !InOrder(records_.back(), record)) {
    problem = "time " + std::string(text.substr(0, text.find(','))) + " " + OrderRule(record);
  } else if (records_.size() == kMaxRecords) {
    problem = "more records than one file may hold";
  } else {
    records_.push_back(record);
    return true;
  }
  error_ = "line " + std::to_string(line_) + ": " + problem;
  return false;
}

template class HistoryCsv<Bar>;
template class HistoryCsv<Tick>;

}  // namespace vl5::terminal::market
