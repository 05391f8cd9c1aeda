// A small JSON reader for the test vectors (objects, arrays, strings, numbers, true, false,
// null). Strings keep their UTF-8 bytes; \uXXXX escapes of the Basic Multilingual Plane are
// decoded. Not for untrusted input beyond test files.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace salvora::testing {

class JsonValue {
 public:
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  // Parses `text`; nullopt on a syntax error.
  [[nodiscard]] static std::optional<JsonValue> Parse(std::string_view text) {
    size_t at = 0;
    JsonValue v;
    if (!ParseValue(text, at, v)) return std::nullopt;
    SkipSpace(text, at);
    if (at != text.size()) return std::nullopt;
    return v;
  }

  [[nodiscard]] Kind kind() const { return kind_; }
  [[nodiscard]] bool is_null() const { return kind_ == Kind::kNull; }
  [[nodiscard]] const std::string& str() const { return string_; }
  [[nodiscard]] int64_t integer() const { return static_cast<int64_t>(number_); }
  [[nodiscard]] const std::vector<JsonValue>& items() const { return array_; }
  [[nodiscard]] const std::map<std::string, JsonValue>& members() const { return object_; }

  // The member `key` of an object, or a null value.
  [[nodiscard]] const JsonValue& operator[](const std::string& key) const {
    static const JsonValue kNullValue;
    auto it = object_.find(key);
    return it != object_.end() ? it->second : kNullValue;
  }

 private:
  static void SkipSpace(std::string_view t, size_t& at) {
    while (at < t.size() && (t[at] == ' ' || t[at] == '\n' || t[at] == '\r' || t[at] == '\t')) {
      ++at;
    }
  }

  static bool ParseString(std::string_view t, size_t& at, std::string& out) {
    if (at >= t.size() || t[at] != '"') return false;
    ++at;
    out.clear();
    while (at < t.size() && t[at] != '"') {
      char c = t[at++];
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (at >= t.size()) return false;
      char e = t[at++];
      switch (e) {
        case 'n':
          out.push_back('\n');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'u': {
          if (t.size() - at < 4) return false;
          unsigned cp =
              static_cast<unsigned>(std::stoul(std::string(t.substr(at, 4)), nullptr, 16));
          at += 4;
          if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
          } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
          } else {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
          }
          break;
        }
        default:
          out.push_back(e);
          break;
      }
    }
    if (at >= t.size()) return false;
    ++at;
    return true;
  }

  static bool ParseValue(std::string_view t, size_t& at, JsonValue& v) {
    SkipSpace(t, at);
    if (at >= t.size()) return false;
    char c = t[at];
    if (c == '{') {
      v.kind_ = Kind::kObject;
      ++at;
      SkipSpace(t, at);
      if (at < t.size() && t[at] == '}') return ++at, true;
      while (true) {
        SkipSpace(t, at);
        std::string key;
        if (!ParseString(t, at, key)) return false;
        SkipSpace(t, at);
        if (at >= t.size() || t[at++] != ':') return false;
        JsonValue member;
        if (!ParseValue(t, at, member)) return false;
        v.object_.emplace(std::move(key), std::move(member));
        SkipSpace(t, at);
        if (at >= t.size()) return false;
        if (t[at] == ',') {
          ++at;
          continue;
        }
        return t[at++] == '}';
      }
    }
    if (c == '[') {
      v.kind_ = Kind::kArray;
      ++at;
      SkipSpace(t, at);
      if (at < t.size() && t[at] == ']') return ++at, true;
      while (true) {
        JsonValue item;
        if (!ParseValue(t, at, item)) return false;
        v.array_.push_back(std::move(item));
        SkipSpace(t, at);
        if (at >= t.size()) return false;
        if (t[at] == ',') {
          ++at;
          continue;
        }
        return t[at++] == ']';
      }
    }
    if (c == '"') {
      v.kind_ = Kind::kString;
      return ParseString(t, at, v.string_);
    }
    for (auto [word, kind, value] :
         {std::tuple{"true", Kind::kBool, 1.0}, std::tuple{"false", Kind::kBool, 0.0},
          std::tuple{"null", Kind::kNull, 0.0}}) {
      std::string_view w(word);
      if (t.substr(at, w.size()) == w) {
        at += w.size();
        v.kind_ = kind;
        v.number_ = value;
        return true;
      }
    }
    size_t end = at;
    while (end < t.size() &&
           std::string_view("+-0123456789.eE").find(t[end]) != std::string_view::npos) {
      ++end;
    }
    if (end == at) return false;
    v.kind_ = Kind::kNumber;
    v.number_ = std::stod(std::string(t.substr(at, end - at)));
    at = end;
    return true;
  }

  Kind kind_ = Kind::kNull;
  double number_ = 0;
  std::string string_;
  std::vector<JsonValue> array_;
  std::map<std::string, JsonValue> object_;
};

}  // namespace salvora::testing
