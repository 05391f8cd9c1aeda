#include "device/device_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace salvora {
namespace {

std::atomic<DeviceLogSink> g_sink{nullptr};

}  // namespace

DeviceLogSink SetDeviceLogSink(DeviceLogSink sink) { return g_sink.exchange(sink); }

void DeviceLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string line;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    line.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);
  DeviceLogSink sink = g_sink.load();
  if (sink != nullptr) {
    sink(line);
  } else {
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
  }
}

}  // namespace salvora
