#include "core/format.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "core/text.h"

namespace salvora {
namespace {

TEST(FormatTest, Duration) {
  struct Case {
    int64_t seconds;
    const char* text;
  } cases[] = {
      {0, "0 Sec"},          {59, "59 Sec"},           {60, "1 Min 0 Sec"},
      {75, "1 Min 15 Sec"},  {3599, "59 Min 59 Sec"},  {3600, "1 Hour 0 Min"},
      {7322, "2 Hour 2 Min"}, {-5, "-5 Sec"},
      {int64_t{1} << 32 | 7, "1193046 Hour 28 Min"},
      {-(int64_t{1} << 32) - 5, "-5 Sec"},  // negative counts print their low 32 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(Utf16ToUtf8(FormatDuration(c.seconds)), c.text);
  }
}

TEST(FormatTest, Size) {
  struct Case {
    int64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 Bytes"},
      {1023, "1023 Bytes"},
      {1024, "1.00 KB"},
      {1536, "1.50 KB"},
      {int64_t{1} << 20, "1.00 MB"},
      {(int64_t{1} << 20) - 1, "1024.00 KB"},
      {int64_t{5} << 30, "5.00 GB"},
      {int64_t{1} << 40, "1.00 TB"},
      {int64_t{3} << 39, "1.50 TB"},
      {-1, "-1 Bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(Utf16ToUtf8(FormatSize(c.bytes)), c.text);
  }
}

TEST(FormatTest, LanguageTextAsFormat) {
  const std::vector<FormatArg> label = {U("1.00 KB"), int64_t{3}, U("2.00 KB"), int64_t{4}};
  struct Case {
    const char* format;
    std::vector<FormatArg> args;
    const char* text;
  } cases[] = {
      {"You select %s in %d item(s) of %s in %d item(s)", label,
       "You select 1.00 KB in 3 item(s) of 2.00 KB in 4 item(s)"},
      {"%d%%", {int64_t{3}}, "3%"},
      {"%10s: x", {U("To")}, "        To: x"},
      {"%-4s|", {U("To")}, "To  |"},
      {"%ld and %lld and %u", {int64_t{3}, U("To"), U("1.00 KB")}, "3 and To and 1.00 KB"},
      {"%n%x%p %", label, "%n%x%p %"},                    // never a C format
      {"%s %s %s %s %s", label, "1.00 KB 3 2.00 KB 4 "},  // a missing argument prints nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(Utf16ToUtf8(FormatText(Utf8ToUtf16(c.format), c.args)), c.text);
  }
}

}  // namespace
}  // namespace salvora
