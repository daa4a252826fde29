// Trading hours as the settings file writes them:
//   Mon-Fri 09:30-16:00            the same hours on each of those days
//   Sun 17:00 - Fri 17:00          from one moment of the week to another
//   Mon-Thu 00:00-24:00, Fri 00:00-22:00   several windows
//   always                         open the whole week
//   data                           open wherever the loaded history has bars
// Days are Sun Mon Tue Wed Thu Fri Sat (any case); times HH:MM up to 24:00.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "terminal/model/market/trading_hours.h"

namespace vl5::terminal::market {

struct HoursText {
  bool always = false;
  bool from_data = false;
  std::vector<OpenWindow> windows;  // in order; empty for `always` and `data`
};

// False with a message for impossible hours: an unknown day, a time past
// 24:00, a window that ends before it starts, overlapping windows, nothing.
bool ParseHoursText(std::string_view text, HoursText* hours, std::string* error);

}  // namespace vl5::terminal::market
