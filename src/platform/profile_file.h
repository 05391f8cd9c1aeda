// INI profile files with the rules of the Windows profile functions.
//
// A profile file is text made of sections ("[name]" lines) and entries ("key=value" lines).
// The rules the rest of the system relies on:
//   - section and key names match without regard to letter case (ASCII folding);
//   - an entry is split at its first "="; blanks around key and value are trimmed;
//   - when a key occurs twice in a section, the first occurrence wins; when a section occurs
//     twice, lookups use the first;
//   - lines starting with ";" are comments; a UTF-8 byte-order mark at the start is ignored;
//   - a missing file reads as empty; writing creates the file, the section or the key, and
//     otherwise changes only the value of the first matching key, keeping every other line.
// Every function reads or writes the whole file on each call; profile files are small.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace salvora::platform {

// The value of `key` in `section`, or `fallback` when the file, the section or the key is
// missing. A value enclosed in matching double or single quotes loses the quotes.
[[nodiscard]] std::string ProfileReadString(const std::filesystem::path& file,
                                            const std::string& section, const std::string& key,
                                            const std::string& fallback);

// The entry lines of the first section called `section`, trimmed, in file order, comments
// and blank lines left out. A line without "=" is returned as it stands.
[[nodiscard]] std::vector<std::string> ProfileReadSection(const std::filesystem::path& file,
                                                          const std::string& section);

// The names of all sections in file order (a repeated name is listed each time).
[[nodiscard]] std::vector<std::string> ProfileSectionNames(const std::filesystem::path& file);

// Sets `key` in `section` to `value`. Returns 0, or the errno of the failed write.
[[nodiscard]] int ProfileWriteString(const std::filesystem::path& file, const std::string& section,
                                     const std::string& key, const std::string& value);

// Splits an entry line at its first "=": the key and the text after it, both trimmed. A line
// without "=" gives the whole line as both key and text.
struct ProfileEntry {
  std::string key;
  std::string text;
};
[[nodiscard]] ProfileEntry SplitProfileEntry(const std::string& line);

}  // namespace salvora::platform
