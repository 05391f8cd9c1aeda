// Local time as the system needs it.
#pragma once

#include <cstdint>
#include <ctime>

namespace salvora::platform {

// The time zone's standard bias in minutes, without daylight saving: UTC = local + bias,
// so a zone east of Greenwich has a negative bias (UTC+2 gives -120).
[[nodiscard]] long StandardBiasMinutes();

// Broken-down local calendar time of a Unix time under the zone's current rules, daylight
// saving included. Returns false when the C library rejects the value.
[[nodiscard]] bool LocalCalendarTime(int64_t unix_seconds, std::tm& out);

// Broken-down UTC calendar time of a Unix time. Returns false when it is out of range.
[[nodiscard]] bool UtcCalendarTime(int64_t unix_seconds, std::tm& out);

// Current Unix time in seconds.
[[nodiscard]] int64_t NowUnixSeconds();

}  // namespace salvora::platform
