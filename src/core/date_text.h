// Date texts. Every record's date is text laid out as "%04d-%02d-%02d %02d:%02d:%02d", so
// ordering by date is ordering of the text.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace salvora {

// Seconds from 1970-01-01 to 2001-01-01, the start of Apple's timestamps.
inline constexpr int64_t kAppleEpochOffset = 978307200;

[[nodiscard]] std::u16string FormatDateText(const std::tm& t);
[[nodiscard]] std::string FormatDateText8(const std::tm& t);

// UTC date text of a Unix time; empty when it is out of the calendar's range.
[[nodiscard]] std::u16string UtcDateText(int64_t unix_seconds);

// Local date text of a Unix time under the computer's time-zone rules; empty when the C
// library rejects the value.
[[nodiscard]] std::u16string LocalDateText(int64_t unix_seconds);

// Local date text of an Apple timestamp given as column text: the integer part of the
// seconds since 2001-01-01 (integer rule), shifted to 1970. A null pointer gives empty text.
[[nodiscard]] std::u16string LocalDateTextFromAppleSeconds(const char* column_text);

}  // namespace salvora
