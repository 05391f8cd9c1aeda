#include "media/file_naming.h"

#include "core/text.h"

namespace salvora {

std::string_view LastKeyComponent(std::string_view key) {
  size_t slash = key.rfind('/');
  return slash == std::string_view::npos ? key : key.substr(slash + 1);
}

std::u16string PhotoName(std::string_view key) { return Utf8ToUtf16(LastKeyComponent(key)); }

std::u16string DisplayName(std::string_view key, std::string_view detectedType) {
  // "." is one byte that never occurs inside a multi-byte UTF-8 sequence, so cutting the
  // bytes before decoding gives the same text as decoding first.
  std::string_view last = LastKeyComponent(key);
  size_t dot = last.rfind('.');
  std::u16string name = Utf8ToUtf16(dot == std::string_view::npos ? last : last.substr(0, dot));
  name.push_back(u'.');
  name += AsciiUpper(Utf8ToUtf16(detectedType));
  return name;
}

std::u16string AppNameOfKey(std::string_view key) {
  size_t at = key.find("com.");
  if (at == std::string_view::npos) at = key.find("net.");
  if (at == std::string_view::npos) return u"other";
  size_t start = at + 4;
  size_t dash = key.find('-', start);
  // No "-" behind the bundle id, or nothing between: no app to name.
  if (dash == std::string_view::npos || dash == start) return u"other";
  return Utf8ToUtf16(key.substr(start, dash - start));
}

}  // namespace salvora
