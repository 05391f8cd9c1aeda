#include "platform/profile_file.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>

namespace salvora::platform {
namespace {

struct Line {
  std::string text;     // without the line end
  std::string ending;   // "\r\n", "\n" or "" for a last line without one
};

std::vector<Line> ReadLines(const std::filesystem::path& file) {
  std::vector<Line> lines;
  std::ifstream in(file, std::ios::binary);
  if (!in) return lines;
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (all.size() >= 3 && all.compare(0, 3, "\xEF\xBB\xBF") == 0) all.erase(0, 3);
  size_t pos = 0;
  while (pos < all.size()) {
    size_t nl = all.find('\n', pos);
    Line line;
    if (nl == std::string::npos) {
      line.text = all.substr(pos);
      pos = all.size();
    } else {
      line.text = all.substr(pos, nl - pos);
      line.ending = "\n";
      pos = nl + 1;
    }
    if (!line.text.empty() && line.text.back() == '\r') {
      line.text.pop_back();
      if (!line.ending.empty()) line.ending = "\r\n";
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string> SectionName(const std::string& raw) {
  std::string line = Trim(raw);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  size_t close = line.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

bool IsEntryLine(const std::string& trimmed) { return !trimmed.empty() && trimmed[0] != ';'; }

// Index range [begin, end) of the entry lines of the first section named `section`;
// begin is npos when the section is missing. `header` receives the index of its "[...]" line.
struct SectionRange {
  size_t header = std::string::npos;
  size_t begin = std::string::npos;
  size_t end = std::string::npos;
};

SectionRange FindSection(const std::vector<Line>& lines, const std::string& section) {
  SectionRange range;
  for (size_t i = 0; i < lines.size(); ++i) {
    auto name = SectionName(lines[i].text);
    if (!name) continue;
    if (range.begin != std::string::npos) {
      range.end = i;
      return range;
    }
    if (EqualNoCase(*name, section)) {
      range.header = i;
      range.begin = i + 1;
    }
  }
  if (range.begin != std::string::npos) range.end = lines.size();
  return range;
}

std::string Unquote(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

ProfileEntry SplitProfileEntry(const std::string& line) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return {line, line};
  return {Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

std::string ProfileReadString(const std::filesystem::path& file, const std::string& section,
                              const std::string& key, const std::string& fallback) {
  for (const std::string& entry : ProfileReadSection(file, section)) {
    if (entry.find('=') == std::string::npos) continue;
    ProfileEntry split = SplitProfileEntry(entry);
    if (EqualNoCase(split.key, key)) return Unquote(split.text);
  }
  return fallback;
}

std::vector<std::string> ProfileReadSection(const std::filesystem::path& file,
                                            const std::string& section) {
  std::vector<std::string> entries;
  std::vector<Line> lines = ReadLines(file);
  SectionRange range = FindSection(lines, section);
  if (range.begin == std::string::npos) return entries;
  for (size_t i = range.begin; i < range.end; ++i) {
    std::string trimmed = Trim(lines[i].text);
    if (IsEntryLine(trimmed)) entries.push_back(trimmed);
  }
  return entries;
}

std::vector<std::string> ProfileSectionNames(const std::filesystem::path& file) {
  std::vector<std::string> names;
  for (const Line& line : ReadLines(file)) {
    if (auto name = SectionName(line.text)) names.push_back(*name);
  }
  return names;
}

int ProfileWriteString(const std::filesystem::path& file, const std::string& section,
                       const std::string& key, const std::string& value) {
  std::vector<Line> lines = ReadLines(file);
  std::string eol = "\n";
  for (const Line& line : lines) {
    if (!line.ending.empty()) {
      eol = line.ending;
      break;
    }
  }
  if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = eol;

  const std::string entry = key + "=" + value;
  SectionRange range = FindSection(lines, section);
  if (range.begin == std::string::npos) {
    lines.push_back({"[" + section + "]", eol});
    lines.push_back({entry, eol});
  } else {
    bool replaced = false;
    size_t last_entry = range.header;
    for (size_t i = range.begin; i < range.end; ++i) {
      std::string trimmed = Trim(lines[i].text);
      if (!IsEntryLine(trimmed)) continue;
      last_entry = i;
      if (trimmed.find('=') != std::string::npos &&
          EqualNoCase(SplitProfileEntry(trimmed).key, key)) {
        lines[i].text = entry;
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_entry + 1), Line{entry, eol});
    }
  }

  std::ostringstream text;
  for (const Line& line : lines) text << line.text << line.ending;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return errno != 0 ? errno : EIO;
  out << text.str();
  out.flush();
  return out ? 0 : EIO;
}

}  // namespace salvora::platform
