#include "core/text.h"

#include <string>

#include <gtest/gtest.h>

namespace salvora {
namespace {

TEST(TextTest, Utf8ToUtf16ReplacesEveryBadSequence) {
  struct Case {
    const char* utf8;
    std::u16string utf16;
  } cases[] = {
      {"Ann", u"Ann"},
      {"J\xC3\xBCrgen", u"J\u00FCrgen"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},     // emoji: a surrogate pair
      {"a\x80z", u"a\uFFFDz"},                 // stray continuation byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},           // overlong form of "/"
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"ab\xE2\x82", u"ab\uFFFD"},             // truncated at the end
      {"\xE2\x82z", u"\uFFFDz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
  }
}

TEST(TextTest, Utf16ToUtf8RoundTripsAndReplacesLoneSurrogates) {
  std::u16string text = u"Ann \u00E9 \u4E2D \U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800}) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xDC00})), "\xEF\xBF\xBD");
}

TEST(TextTest, CompareNoCaseFoldsOnlyAToZ) {
  struct Case {
    std::u16string a, b;
    int sign;
  } cases[] = {
      {u"ann", u"ANN", 0},
      {u"Ann", u"Bob", -1},
      {u"b", u"A", 1},
      {u"Ann", u"Annabel", -1},                      // a prefix orders first
      {u"_", u"a", -1},                              // "_" (0x5F) before "a" once folded
      {u"\u00C4", u"\u00E4", -1},                    // no folding beyond A-Z
      {u"2015-01-02 03:04:05", u"2015-01-10 00:00:00", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.a) + " vs " + Utf16ToUtf8(c.b));
    int r = CompareNoCase(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign);
  }
}

TEST(TextTest, ReplaceAllNeverSearchesItsOwnReplacement) {
  std::u16string text = u"&amp;lt; &amp;";
  ReplaceAll(text, u"&amp;", u"&");
  EXPECT_EQ(text, u"&lt; &");
  std::u16string grow = u"aa";
  ReplaceAll(grow, u"a", u"aa");
  EXPECT_EQ(grow, u"aaaa");
  std::string bytes = "{|title|} {|title|}";
  ReplaceAll(bytes, "{|title|}", "x {|title|}");
  EXPECT_EQ(bytes, "x {|title|} x {|title|}");
  std::u16string same = u"abc";
  ReplaceAll(same, u"", u"z");
  EXPECT_EQ(same, u"abc");
}

TEST(TextTest, LeadingIntegerRule) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {
      {"12", 12},   {"12.9", 12},   {"  -7x", -7}, {"+3", 3},   {"abc", 0},
      {"", 0},      {nullptr, 0},   {"- 4", 0},    {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text == nullptr ? "null" : c.text);
    EXPECT_EQ(ParseLeadingInt(c.text), c.value);
  }
  EXPECT_EQ(ParseLeadingInt64("1234567890123456789"), 1234567890123456789);
  EXPECT_EQ(ParseLeadingInt64("-9223372036854775808"), INT64_MIN);
}

}  // namespace
}  // namespace salvora
