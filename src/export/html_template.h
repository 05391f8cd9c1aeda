// One HTML template of the export: a UTF-8 file beside the program, split at its content
// placeholder.
//
// Contract of a template file:
//   "{|content|}"  where the generated rows or message blocks go (the first occurrence);
//   "{|title|}"    anywhere before it, replaced by the page title;
//   "{|person|}"   anywhere before it (conversation templates), replaced by the person line.
// Placeholders after "{|content|}" stay as they are. The bytes are not converted: a
// byte-order mark at the start is carried into every page.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace salvora {

inline constexpr std::string_view kContentMarker = "{|content|}";
inline constexpr std::string_view kTitleMarker = "{|title|}";
inline constexpr std::string_view kPersonMarker = "{|person|}";

class HtmlTemplate {
 public:
  // Reads `file` (once: a template already read is kept) and splits it, putting `title_html`
  // (already escaped) in place of every "{|title|}" of the head. Returns 0; the errno of a
  // failed open or read; EFBIG for a file above 16 MiB; kInvalidParameter when the file holds
  // no "{|content|}". On failure head and tail are empty.
  [[nodiscard]] int Load(const std::filesystem::path& file, std::string_view title_html);

  // Splits `text` as Load does. Returns false (head and tail empty) without the marker.
  bool SetText(std::string text, std::string_view title_html);

  [[nodiscard]] const std::string& text() const { return text_; }
  [[nodiscard]] const std::string& head() const { return head_; }
  [[nodiscard]] const std::string& tail() const { return tail_; }
  [[nodiscard]] bool loaded() const { return loaded_; }

  // The head with every "{|person|}" replaced by `person_html` (already escaped).
  [[nodiscard]] std::string HeadWithPerson(std::string_view person_html) const;

 private:
  std::string text_;
  std::string head_;
  std::string tail_;
  bool loaded_ = false;
};

// Reads a whole file of at most `max_bytes`. Returns 0, the errno of the failure, or EFBIG.
[[nodiscard]] int ReadWholeFile(const std::filesystem::path& file, size_t max_bytes,
                                std::string& bytes);

}  // namespace salvora
