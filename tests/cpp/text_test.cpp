// UTF-16 wire text against UTF-8: round trips, replacement of what cannot be
// represented, and cutting UTF-8 without splitting a character.
#include <gtest/gtest.h>

#include <string>

#include "src/wire/text.h"

namespace vl5::wire {
namespace {

const std::u16string kReplacement = u"\uFFFD";

TEST(TextTest, RoundTripsEveryEncodedLength) {
  struct Case {
    std::u16string utf16;
    std::string utf8;
  };
  const Case cases[] = {
      {u"", ""},
      {u"EURUSD", "EURUSD"},
      {u"\u00E9", "\xC3\xA9"},              // two bytes
      {u"\u20AC", "\xE2\x82\xAC"},          // three bytes
      {u"\uFFFF", "\xEF\xBF\xBF"},          // last unit of the BMP
      {u"\U0001F600", "\xF0\x9F\x98\x80"},  // a surrogate pair, four bytes
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},  // the last code point
      {u"a\u00E9\u20AC\U0001F600z", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
  }
  EXPECT_EQ(std::u16string(u"\U0001F600").size(), 2u);
}

TEST(TextTest, EmbeddedNulSurvives) {
  std::u16string text(u"a\0b", 3);
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
}

TEST(TextTest, UnpairedSurrogatesBecomeReplacement) {
  const char16_t high = 0xD83D, low = 0xDE00;
  const std::u16string lone_high(1, high), lone_low(1, low);
  EXPECT_EQ(Utf16ToUtf8(lone_high), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(lone_low), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(u"a" + lone_high + u"b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf16ToUtf8(lone_low + lone_high), "\xEF\xBF\xBD\xEF\xBF\xBD") << "reversed pair";
  EXPECT_EQ(Utf16ToUtf8(lone_high + lone_high + lone_low), "\xEF\xBF\xBD\xF0\x9F\x98\x80");
  // Whatever the input, the output decodes back without loss.
  std::u16string mixed = lone_low + u"x" + lone_high;
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(mixed)), kReplacement + u"x" + kReplacement);
}

TEST(TextTest, InvalidUtf8BecomesReplacementWithoutEatingValidText) {
  const std::string invalid[] = {
      "\xFF",              // never a lead byte
      "\x80",              // continuation without a lead
      "\xE2\x82",          // truncated at the end
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAE",      // overlong '.'
      "\xF0\x80\x80\xAF",  // overlong '/'
      "\xED\xA0\x80",      // an encoded surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
  };
  for (const std::string& bad : invalid) {
    std::u16string got = Utf8ToUtf16("a" + bad + "b");
    ASSERT_GE(got.size(), 3u) << bad;
    EXPECT_EQ(got.front(), u'a');
    EXPECT_EQ(got.back(), u'b');
    for (std::size_t i = 1; i + 1 < got.size(); ++i) {
      EXPECT_EQ(got[i], 0xFFFD) << "byte sequence " << ::testing::PrintToString(bad) << " unit " << i;
    }
  }
  // A lead byte followed by a valid character loses only itself.
  EXPECT_EQ(Utf8ToUtf16("\xE2"
                        "a\xC3\xA9"),
            kReplacement + u"a\u00E9");
}

TEST(TextTest, BoundedLengthStopsAtNulOrCapacity) {
  const char16_t text[] = {u'a', u'b', 0, u'c'};
  EXPECT_EQ(BoundedLength(text, 4), 2u);
  EXPECT_EQ(BoundedLength(text, 1), 1u);
  EXPECT_EQ(BoundedLength(text, 0), 0u);
}

// Every cut of a text mixing all encoded lengths is the longest whole-character
// prefix that fits.
TEST(TextTest, Utf8PrefixNeverSplitsACharacter) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z\xF0\x9F\x98\x80";
  const std::size_t starts[] = {0, 1, 3, 6, 10, 11};  // where each character begins
  for (std::size_t limit = 0; limit <= text.size() + 2; ++limit) {
    std::size_t n = Utf8Prefix(text, limit);
    std::size_t expected = text.size() <= limit ? text.size() : 0;
    for (std::size_t s : starts) {
      if (s <= limit && text.size() > limit) expected = s;
    }
    EXPECT_EQ(n, expected) << "limit " << limit;
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text.substr(0, n))), text.substr(0, n)) << "limit " << limit;
  }
}

}  // namespace
}  // namespace vl5::wire
