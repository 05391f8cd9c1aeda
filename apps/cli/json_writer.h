// A small writer of JSON text for the command-line program's --json output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace salvora::cli {

// Quotes `text` (UTF-8) as a JSON string. Control characters are escaped; bytes that are not
// valid UTF-8 are expected to have been replaced before (the core conversions do that).
inline std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out += "\"";
  return out;
}

}  // namespace salvora::cli
