// The group mask's contract: inclusion and exclusion items, blanks, and the
// one-pass wildcard matcher that never moves back in the name.
#include "src/mask/group_mask.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vl5::mask::MatchGroupMask;
using vl5::mask::MatchMaskItem;

struct Case {
  const char16_t* pattern;
  const char16_t* name;
  bool match;
};

class MaskItem : public ::testing::TestWithParam<Case> {};
class MaskList : public ::testing::TestWithParam<Case> {};

TEST_P(MaskItem, Matches) {
  const Case& c = GetParam();
  EXPECT_EQ(MatchMaskItem(c.pattern, c.name), c.match);
}

TEST_P(MaskList, Matches) {
  const Case& c = GetParam();
  EXPECT_EQ(MatchGroupMask(c.pattern, c.name), c.match);
}

INSTANTIATE_TEST_SUITE_P(Items, MaskItem,
                         ::testing::Values(Case{u"EURUSD", u"EURUSD", true}, Case{u"EURUSD", u"EURUSD.m", false},
                                           Case{u"eurusd", u"EURUSD", false}, Case{u"EUR*", u"EUR", true},
                                           Case{u"*USD", u"EURUSD", true}, Case{u"E*D", u"EURUSDX", false},
                                           Case{u"a*b*c", u"axxbyyc", true}, Case{u"*ab", u"abab", true},
                                           // One pass: an early partial match hides the real one.
                                           Case{u"*aa", u"aaa", false}, Case{u"*aab", u"aaab", false},
                                           Case{u"*aba", u"ababa", false}, Case{u"?URUSD", u"EURUSD", false},
                                           Case{u"*", u"", true}, Case{u"a", u"", false},
                                           Case{u"!EUR*", u"EURUSD", true}, Case{u"a!b", u"a!b", true},
                                           Case{u"EUR**USD", u"EURUSD", true}, Case{u"EUR*", u"EU", false}));

INSTANTIATE_TEST_SUITE_P(Lists, MaskList,
                         ::testing::Values(Case{u"", u"EURUSD", false}, Case{u" , ,", u"EURUSD", false},
                                           Case{u"*", u"EURUSD", true}, Case{u"*,!EURUSD", u"EURUSD", false},
                                           Case{u"!EURUSD,*", u"EURUSD", false}, Case{u"!EURUSD", u"GBPUSD", false},
                                           Case{u"*,!EUR*", u"GBPUSD", true}, Case{u" EUR* , GBP*", u"GBPJPY", true},
                                           Case{u"EURUSD, GBP USD", u"GBP USD", true},
                                           Case{u"! EURUSD,*", u"EURUSD", true}, Case{u"!", u"EURUSD", false},
                                           Case{u"!!EUR*", u"EURUSD", false}));

TEST(MaskList, NullArgumentsNeverMatch) {
  EXPECT_FALSE(MatchGroupMask(nullptr, u"EURUSD"));
  EXPECT_FALSE(MatchGroupMask(u"*", nullptr));
  EXPECT_FALSE(MatchMaskItem(nullptr, u"EURUSD"));
  EXPECT_FALSE(MatchMaskItem(u"*", nullptr));
}

TEST(MaskList, OverlongItemIsCutAtItsCapacity) {
  // 300 units: only the first 255 take part; nothing past the item buffer is written.
  std::u16string item(255, u'A');
  std::u16string mask = item + std::u16string(45, u'B') + u",GBP*";
  EXPECT_TRUE(MatchGroupMask(mask.c_str(), item.c_str()));
  EXPECT_TRUE(MatchGroupMask(mask.c_str(), u"GBPUSD"));
  EXPECT_FALSE(MatchGroupMask(mask.c_str(), (item + u"B").c_str()));
}

}  // namespace
