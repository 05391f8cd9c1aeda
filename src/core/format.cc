#include "core/format.h"

#include <cstdio>

#include "core/text.h"

namespace salvora {

std::u16string FormatDuration(int64_t s) {
  char buf[64];
  if (s < 0) {
    std::snprintf(buf, sizeof buf, "%d Sec", static_cast<int32_t>(static_cast<uint32_t>(s)));
  } else if (s >= 3600) {
    int64_t h = s / 3600;
    std::snprintf(buf, sizeof buf, "%lld Hour %lld Min", static_cast<long long>(h),
                  static_cast<long long>((s - h * 3600) / 60));
  } else if (s >= 60) {
    std::snprintf(buf, sizeof buf, "%lld Min %lld Sec", static_cast<long long>(s / 60),
                  static_cast<long long>(s % 60));
  } else {
    std::snprintf(buf, sizeof buf, "%lld Sec", static_cast<long long>(s));
  }
  return U(buf);
}

std::u16string FormatSize(int64_t b) {
  constexpr double kKB = 1024.0;
  constexpr int64_t kTB = int64_t{1} << 40;
  constexpr int64_t kGB = int64_t{1} << 30;
  constexpr int64_t kMB = int64_t{1} << 20;
  char buf[64];
  if (b >= kTB) {
    std::snprintf(buf, sizeof buf, "%.2f TB", static_cast<double>(b) / static_cast<double>(kTB));
  } else if (b < 0) {
    std::snprintf(buf, sizeof buf, "%d Bytes", static_cast<int32_t>(static_cast<uint32_t>(b)));
  } else if (b >= kGB) {
    std::snprintf(buf, sizeof buf, "%.2f GB", static_cast<double>(b) / static_cast<double>(kGB));
  } else if (b >= kMB) {
    std::snprintf(buf, sizeof buf, "%.2f MB", static_cast<double>(b) / static_cast<double>(kMB));
  } else if (b >= 1024) {
    std::snprintf(buf, sizeof buf, "%.2f KB", static_cast<double>(b) / kKB);
  } else {
    std::snprintf(buf, sizeof buf, "%d Bytes", static_cast<int>(b));
  }
  return U(buf);
}

std::u16string FormatText(std::u16string_view format, const std::vector<FormatArg>& args) {
  std::u16string out;
  size_t next = 0;
  size_t i = 0;
  while (i < format.size()) {
    char16_t c = format[i];
    if (c != u'%') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == u'%') {
      out.push_back(u'%');
      i += 2;
      continue;
    }
    // %[-][width][h|l|ll]conversion
    size_t j = i + 1;
    bool left = false;
    if (j < format.size() && format[j] == u'-') {
      left = true;
      ++j;
    }
    size_t width = 0;
    while (j < format.size() && format[j] >= u'0' && format[j] <= u'9' && width < 1000) {
      width = width * 10 + (format[j] - u'0');
      ++j;
    }
    while (j < format.size() && (format[j] == u'l' || format[j] == u'h')) ++j;
    if (j >= format.size() ||
        (format[j] != u's' && format[j] != u'd' && format[j] != u'i' && format[j] != u'u')) {
      out.append(format.substr(i, j - i));  // not a conversion we know: copied as it stands
      i = j;
      continue;
    }
    std::u16string value;
    if (next < args.size()) {
      const FormatArg& arg = args[next];
      if (const auto* n = std::get_if<int64_t>(&arg)) {
        value = U(std::to_string(*n));
      } else {
        value = std::get<std::u16string>(arg);
      }
    }
    ++next;
    if (value.size() < width) {
      std::u16string pad(width - value.size(), u' ');
      value = left ? value + pad : pad + value;
    }
    out += value;
    i = j + 1;
  }
  return out;
}

}  // namespace salvora
