#include "src/mask/group_mask.h"

#include <cstddef>

namespace vl5::mask {

namespace {

constexpr std::size_t kItemUnits = 255;

const char16_t* SkipStars(const char16_t* p) {
  while (*p == u'*') ++p;
  return p;
}

}  // namespace

bool MatchMaskItem(const char16_t* item, const char16_t* name) {
  if (item == nullptr || name == nullptr) return false;
  const char16_t* p = item;
  while (*p == u'!') ++p;
  const char16_t* restart = p;
  bool wild = false;
  if (*p == u'*') {
    p = restart = SkipStars(p);
    wild = true;
  }
  const char16_t* q = name;
  if (*q == 0) return *p == 0;
  if (*p == 0) return true;

  // Here *q is not the end and *p is neither the end nor '*'.
  for (;;) {
    if (*p != *q) {
      if (!wild) return false;
      if (*++q == 0) return false;
      continue;
    }
    while (*p != u'*' && *p != 0 && *q != 0 && *p == *q) {
      ++p;
      ++q;
    }
    if (*p != 0 && *p != u'*' && *q != 0) {  // a character differs inside the segment
      if (!wild) return false;
      p = restart;
      continue;
    }
    if (*p == 0) {  // the segment used up the item
      if (*q == 0) return true;
      if (!wild) return false;
      p = restart;
      continue;
    }
    if (*q == 0) return *SkipStars(p) == 0;  // the name ended inside the item
    p = SkipStars(p);                        // the segment stopped at a '*'
    if (*p == 0) return true;
    restart = p;
    wild = true;
  }
}

bool MatchGroupMask(const char16_t* mask, const char16_t* name) {
  if (mask == nullptr || name == nullptr) return false;
  bool matched = false;
  const char16_t* m = mask;
  while (*m != 0) {
    if (*m == u' ' || *m == u',') {
      ++m;
      continue;
    }
    char16_t item[kItemUnits + 1];
    std::size_t n = 0;
    // Units past the item's capacity are dropped up to the next ','.
    for (; *m != 0 && *m != u','; ++m) {
      if (n < kItemUnits) item[n++] = *m;
    }
    while (n > 0 && item[n - 1] == u' ') --n;
    item[n] = 0;
    bool match = MatchMaskItem(item, name);
    if (item[0] == u'!') {
      if (match) return false;
    } else if (match) {
      matched = true;
    }
  }
  return matched;
}

}  // namespace vl5::mask
