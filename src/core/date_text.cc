#include "core/date_text.h"

#include <cstdio>

#include "core/text.h"
#include "platform/local_time.h"

namespace salvora {

std::string FormatDateText8(const std::tm& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

std::u16string FormatDateText(const std::tm& t) { return U(FormatDateText8(t)); }

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
