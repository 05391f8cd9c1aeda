#include "platform/local_time.h"

#include <chrono>

namespace salvora::platform {

long StandardBiasMinutes() {
  ::tzset();  // picks up a TZ changed since the last call
  // `timezone` holds the seconds west of UTC of the zone's standard time.
  return static_cast<long>(::timezone / 60);
}

bool LocalCalendarTime(int64_t unix_seconds, std::tm& out) {
  std::time_t t = static_cast<std::time_t>(unix_seconds);
  return ::localtime_r(&t, &out) != nullptr;
}

bool UtcCalendarTime(int64_t unix_seconds, std::tm& out) {
  std::time_t t = static_cast<std::time_t>(unix_seconds);
  return ::gmtime_r(&t, &out) != nullptr;
}

int64_t NowUnixSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace salvora::platform
