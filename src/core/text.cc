#include "core/text.h"

#include <limits>
#include <type_traits>

namespace salvora {
namespace {

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

template <typename Char>
Char FoldAz(Char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <typename View>
int CompareNoCaseImpl(View a, View b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<uint32_t>(static_cast<std::make_unsigned_t<typename View::value_type>>(FoldAz(a[i])));
    auto y = static_cast<uint32_t>(static_cast<std::make_unsigned_t<typename View::value_type>>(FoldAz(b[i])));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

template <typename Str, typename View>
void ReplaceAllImpl(Str& text, View from, View to) {
  if (from.empty()) return;
  size_t pos = 0;
  while ((pos = text.find(from.data(), pos, from.size())) != Str::npos) {
    text.replace(pos, from.size(), to.data(), to.size());
    pos += to.size();
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  size_t i = 0;
  const size_t n = in.size();
  auto byte = [&](size_t k) { return static_cast<unsigned char>(in[k]); };
  while (i < n) {
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
      out.push_back(b0);
      ++i;
      continue;
    }
    // Lead byte: length and the allowed range of the second byte (Unicode table 3-7).
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      len = 2;
      cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      len = 3;
      cp = b0 & 0x0F;
      if (b0 == 0xE0) lo = 0xA0;
      if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      len = 4;
      cp = b0 & 0x07;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k < len; ++k) {
      if (i + k >= n) break;
      unsigned char b = byte(i + k);
      unsigned char l = (k == 1) ? lo : 0x80;
      unsigned char h = (k == 1) ? hi : 0xBF;
      if (b < l || b > h) break;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (k == len) {
      AppendUtf16(out, cp);
      i += len;
    } else {
      out.push_back(0xFFFD);  // one replacement for the maximal bad subpart
      i += k;
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view in) {
  std::string out;
  AppendUtf16AsUtf8(out, in);
  return out;
}

void AppendUtf16AsUtf8(std::string& out, std::u16string_view in) {
  out.reserve(out.size() + in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    // Most text is ASCII: copy a whole run of it at once.
    size_t ascii_end = i;
    while (ascii_end < in.size() && in[ascii_end] < 0x80) ++ascii_end;
    if (ascii_end > i) {
      const size_t at = out.size();
      out.resize(at + (ascii_end - i));
      for (size_t k = i; k < ascii_end; ++k) out[at + (k - i)] = static_cast<char>(in[k]);
      i = ascii_end - 1;
      continue;
    }
    char32_t c = in[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
}

std::u16string U(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

int CompareNoCase(std::u16string_view a, std::u16string_view b) { return CompareNoCaseImpl(a, b); }
int CompareNoCase(std::string_view a, std::string_view b) { return CompareNoCaseImpl(a, b); }

void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
  ReplaceAllImpl(text, from, to);
}
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  ReplaceAllImpl(text, from, to);
}

int64_t ParseLeadingInt64(const char* p) {
  if (p == nullptr) return 0;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  // Accumulate as a negative number so that the minimum value fits.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  bool saturated = false;
  for (; *p >= '0' && *p <= '9'; ++p) {
    int digit = *p - '0';
    if (!saturated) {
      if (value < (kMin + digit) / 10) {
        saturated = true;
      } else {
        value = value * 10 - digit;
      }
    }
  }
  if (saturated) return negative ? kMin : std::numeric_limits<int64_t>::max();
  if (negative) return value;
  return value == kMin ? std::numeric_limits<int64_t>::max() : -value;
}

int32_t ParseLeadingInt(const char* text) {
  int64_t v = ParseLeadingInt64(text);
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldAz(c);
  return out;
}

std::u16string AsciiLower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = FoldAz(c);
  return out;
}

std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char16_t>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace salvora
