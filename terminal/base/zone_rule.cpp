// The rule of a TZif footer: a POSIX TZ string as RFC 8536 extends it
// (quoted names, rule times from -167 to 167 hours).
#include <cctype>

#include "terminal/base/time_zone.h"

namespace vl5::terminal {

namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}
  bool done() const { return at_ == text_.size(); }
  bool Take(char c) {
    if (done() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  char Peek() const { return done() ? '\0' : text_[at_]; }

  // "EST" (three or more letters) or "<-03>" (letters, digits, signs).
  bool Name() {
    const std::size_t start = at_;
    if (Take('<')) {
      while (!done() && (std::isalnum(static_cast<unsigned char>(Peek())) || Peek() == '+' || Peek() == '-')) ++at_;
      return at_ - start >= 4 && Take('>');
    }
    while (!done() && std::isalpha(static_cast<unsigned char>(Peek()))) ++at_;
    return at_ - start >= 3;
  }

  bool Number(int low, int high, int* value) {
    int n = 0, digits = 0;
    while (!done() && std::isdigit(static_cast<unsigned char>(Peek())) && digits < 4) {
      n = n * 10 + (text_[at_++] - '0');
      ++digits;
    }
    if (digits == 0 || n < low || n > high) return false;
    *value = n;
    return true;
  }

  // [+-]h[:mm[:ss]], hours up to `max_hours`, in seconds.
  bool Duration(int max_hours, std::int32_t* seconds) {
    const bool negative = Take('-');
    if (!negative) Take('+');
    int h = 0, m = 0, s = 0;
    if (!Number(0, max_hours, &h)) return false;
    if (Take(':') && (!Number(0, 59, &m) || (Take(':') && !Number(0, 59, &s)))) return false;
    const std::int32_t total = h * 3600 + m * 60 + s;
    *seconds = negative ? -total : total;
    return true;
  }

  bool Date(TimeZone::Rule::Date* date) {
    if (Take('M')) {
      date->kind = 'M';
      if (!Number(1, 12, &date->month) || !Take('.') || !Number(1, 5, &date->week) || !Take('.') ||
          !Number(0, 6, &date->day)) {
        return false;
      }
    } else if (Take('J')) {
      date->kind = 'J';
      if (!Number(1, 365, &date->day)) return false;
    } else {
      date->kind = 'D';
      if (!Number(0, 365, &date->day)) return false;
    }
    date->time = 7200;
    return !Take('/') || Duration(167, &date->time);
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

bool ParseZoneRule(std::string_view text, TimeZone::Rule* rule) {
  Reader r(text);
  TimeZone::Rule parsed;
  std::int32_t west = 0;  // POSIX counts offsets westwards
  if (!r.Name() || !r.Duration(24, &west)) return false;
  parsed.standard = -west;
  if (r.done()) {
    *rule = parsed;
    return true;
  }
  if (!r.Name()) return false;
  parsed.summer = true;
  parsed.summer_offset = parsed.standard + 3600;
  if (r.Peek() != ',') {
    if (!r.Duration(24, &west)) return false;
    parsed.summer_offset = -west;
  }
  // Without dates the rule would be the system's guess: refused.
  if (!r.Take(',') || !r.Date(&parsed.begins) || !r.Take(',') || !r.Date(&parsed.ends) || !r.done()) return false;
  *rule = parsed;
  return true;
}

}  // namespace vl5::terminal
