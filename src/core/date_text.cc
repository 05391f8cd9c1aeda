#include "core/date_text.h"

#include <cstdio>
#include <iterator>

#include "core/text.h"
#include "platform/local_time.h"

namespace salvora {

namespace {

// Writes the 19 characters of "%04d-%02d-%02d %02d:%02d:%02d" into `out` when every field fits
// its width without a sign (a year 0 to 9999, the others 0 to 99): the case of every real
// date, done without the cost of a formatted print (extractors format one per record).
// Returns false otherwise.
template <typename Char>
bool FormatDateDigits(const std::tm& t, Char (&out)[19]) {
  const int year = t.tm_year + 1900;
  const int fields[5] = {t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
  if (year < 0 || year > 9999) return false;
  for (int f : fields) {
    if (f < 0 || f > 99) return false;
  }
  out[0] = static_cast<Char>('0' + year / 1000);
  out[1] = static_cast<Char>('0' + year / 100 % 10);
  out[2] = static_cast<Char>('0' + year / 10 % 10);
  out[3] = static_cast<Char>('0' + year % 10);
  static constexpr char kSeparators[5] = {'-', '-', ' ', ':', ':'};
  for (int i = 0; i < 5; ++i) {
    out[4 + 3 * i] = static_cast<Char>(kSeparators[i]);
    out[5 + 3 * i] = static_cast<Char>('0' + fields[i] / 10);
    out[6 + 3 * i] = static_cast<Char>('0' + fields[i] % 10);
  }
  return true;
}

}  // namespace

std::string FormatDateText8(const std::tm& t) {
  char digits[19];
  if (FormatDateDigits(t, digits)) return std::string(digits, sizeof digits);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

std::u16string FormatDateText(const std::tm& t) {
  char16_t digits[19];
  if (FormatDateDigits(t, digits)) return std::u16string(digits, std::size(digits));
  return U(FormatDateText8(t));
}

std::u16string UtcDateText(int64_t unix_seconds) {
  std::tm t{};
  if (!platform::UtcCalendarTime(unix_seconds, t)) return {};
  return FormatDateText(t);
}

std::u16string LocalDateText(int64_t unix_seconds) {
  std::tm t{};
  if (!platform::LocalCalendarTime(unix_seconds, t)) return {};
  return FormatDateText(t);
}

std::u16string LocalDateTextFromAppleSeconds(const char* column_text) {
  if (column_text == nullptr) return {};
  return LocalDateText(ParseLeadingInt64(column_text) + kAppleEpochOffset);
}

}  // namespace salvora
