#include "terminal/model/market/hours_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vl5::terminal::market {

namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}
  void Space() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  bool done() {
    Space();
    return at_ == text_.size();
  }
  bool Take(char c) {
    Space();
    if (at_ == text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool AtDay() {
    Space();
    return at_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[at_]));
  }
  // Sun = 0 ... Sat = 6.
  bool Day(int* day, std::string* error) {
    static const char* const kNames[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
    Space();
    std::string word;
    while (at_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[at_]))) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(text_[at_++])));
    }
    for (int i = 0; i < 7; ++i) {
      if (word == kNames[i]) {
        *day = i;
        return true;
      }
    }
    *error = word.empty() ? "a day (Sun ... Sat) is missing" : "unknown day '" + word + "'";
    return false;
  }
  // HH:MM from 00:00 to 24:00, in minutes.
  bool Time(std::int64_t* minutes, std::string* error) {
    Space();
    const std::size_t start = at_;
    int h = 0, m = 0, hour_digits = 0, minute_digits = 0;
    while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_])) && hour_digits < 3) {
      h = h * 10 + (text_[at_++] - '0');
      ++hour_digits;
    }
    const bool colon = at_ < text_.size() && text_[at_] == ':';
    if (colon) ++at_;
    while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_])) && minute_digits < 3) {
      m = m * 10 + (text_[at_++] - '0');
      ++minute_digits;
    }
    const std::string written(text_.substr(start, at_ - start));
    if (hour_digits == 0 || hour_digits > 2 || !colon || minute_digits != 2) {
      *error = written.empty() ? "a time (HH:MM) is missing" : "'" + written + "' is not a time (HH:MM)";
      return false;
    }
    if (m > 59 || h * 60 + m > kDayMinutes) {
      *error = "'" + written + "' is not a time of day (00:00 to 24:00)";
      return false;
    }
    *minutes = h * 60 + m;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

std::string Clock(std::int64_t minute_of_week) {
  static const char* const kNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const std::int64_t m = minute_of_week % kWeekMinutes;
  char text[16];
  std::snprintf(text, sizeof text, "%s %02d:%02d", kNames[m / kDayMinutes], static_cast<int>(m % kDayMinutes / 60),
                static_cast<int>(m % 60));
  return text;
}

// One window: "Mon-Fri 09:30-16:00", "Sat 10:00-14:00" or "Sun 17:00 - Fri 17:00".
bool ParseWindow(Reader& r, std::vector<OpenWindow>* windows, std::string* error) {
  int first = 0;
  if (!r.Day(&first, error)) return false;
  int last = first;
  if (r.Take('-') && !r.Day(&last, error)) return false;
  std::int64_t open = 0, close = 0;
  if (!r.Time(&open, error)) return false;
  if (!r.Take('-')) {
    *error = "'-' is missing between the times";
    return false;
  }
  if (r.AtDay()) {
    // From one moment of the week to another, over the week's end if need be.
    int until = 0;
    if (last != first) {
      *error = "a window from a day to another names one day at each end";
      return false;
    }
    if (!r.Day(&until, error) || !r.Time(&close, error)) return false;
    const std::int64_t from = first * kDayMinutes + open;
    std::int64_t to = until * kDayMinutes + close;
    if (to == from) {
      *error = "the window " + Clock(from) + " - " + Clock(to) + " is empty";
      return false;
    }
    if (to < from) to += kWeekMinutes;
    if (to > kWeekMinutes) {
      windows->push_back(OpenWindow{from, kWeekMinutes});
      windows->push_back(OpenWindow{0, to - kWeekMinutes});
    } else {
      windows->push_back(OpenWindow{from, to});
    }
    return true;
  }
  if (!r.Time(&close, error)) return false;
  if (close <= open) {
    // Times of day alone: 24:00 is written as such, not as the next day's 00:00.
    const auto time = [](std::int64_t m) { return m == kDayMinutes ? std::string("24:00") : Clock(m).substr(4); };
    *error = "a window ends before it starts (" + time(open) + "-" + time(close) + ")";
    return false;
  }
  for (int day = first;; day = (day + 1) % 7) {
    windows->push_back(OpenWindow{day * kDayMinutes + open, day * kDayMinutes + close});
    if (day == last) break;
  }
  return true;
}

}  // namespace

bool ParseHoursText(std::string_view text, HoursText* hours, std::string* error) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t begin = lower.find_first_not_of(" \t");
  const std::string word =
      begin == std::string::npos ? "" : lower.substr(begin, lower.find_last_not_of(" \t") + 1 - begin);
  HoursText parsed;
  if (word == "always" || word == "data") {
    parsed.always = word == "always";
    parsed.from_data = word == "data";
    *hours = std::move(parsed);
    return true;
  }
  if (word.empty()) {
    *error = "no hours given (write windows such as Mon-Fri 09:30-16:00, or always, or data)";
    return false;
  }
  Reader r(text);
  do {
    if (!ParseWindow(r, &parsed.windows, error)) return false;
  } while (r.Take(','));
  if (!r.done()) {
    *error = "unexpected text after the hours (windows are separated by ',')";
    return false;
  }
  std::sort(parsed.windows.begin(), parsed.windows.end(),
            [](const OpenWindow& a, const OpenWindow& b) { return a.open < b.open; });
  for (std::size_t i = 1; i < parsed.windows.size(); ++i) {
    if (parsed.windows[i].open < parsed.windows[i - 1].close) {
      *error = "windows overlap at " + Clock(parsed.windows[i].open);
      return false;
    }
  }
  *hours = std::move(parsed);
  return true;
}

}  // namespace vl5::terminal::market
