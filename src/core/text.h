// Text helpers: the one place where UTF-8 and UTF-16 meet, and the comparison, search and
// replacement rules that sorting, name lookups and markup conversion share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace salvora {

// UTF-8 to UTF-16. Every byte sequence that is not well-formed UTF-8 (stray continuation
// bytes, overlong forms, surrogates, values above U+10FFFF, truncated sequences) becomes one
// U+FFFD per maximal bad subpart, so the result is always valid UTF-16.
[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view utf16);
// The same conversion, appended to `out` (writers that assemble large texts avoid a
// temporary string per value).
void AppendUtf16AsUtf8(std::string& out, std::u16string_view utf16);

// ASCII text as UTF-16 (for literals: U("Camera Roll")).
[[nodiscard]] std::u16string U(std::string_view ascii);

// Compares two texts with letters A to Z folded to lower case, then code unit by code unit;
// a text that is a prefix of the other orders first. Returns <0, 0 or >0.
[[nodiscard]] int CompareNoCase(std::u16string_view a, std::u16string_view b);
[[nodiscard]] int CompareNoCase(std::string_view a, std::string_view b);  // bytes, same rule

// Exact, case-sensitive containment.
[[nodiscard]] inline bool Contains(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

// Replaces every occurrence of `from`, searching from the start and continuing after each
// inserted replacement, so the replacement's own text is never searched again. An empty
// `from` changes nothing.
void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to);
void ReplaceAll(std::string& text, std::string_view from, std::string_view to);

// The integer rule of database columns: optional leading white space and sign, then decimal
// digits; reading stops at the first other character, so "12.9" gives 12 and text without
// leading digits gives 0. Values beyond the 32-bit range saturate. A null pointer gives 0.
[[nodiscard]] int32_t ParseLeadingInt(const char* text);
[[nodiscard]] int64_t ParseLeadingInt64(const char* text);

// ASCII lower case of a byte string (other bytes unchanged).
[[nodiscard]] std::string AsciiLower(std::string_view text);
[[nodiscard]] std::u16string AsciiLower(std::u16string_view text);
[[nodiscard]] std::u16string AsciiUpper(std::u16string_view text);

}  // namespace salvora
