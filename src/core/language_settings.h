// The settings file "config.ini" and the language files every window takes its texts from.
//
// "config.ini" beside the program names the current language ("Default" in
// "DefaultLanguage", "English" when missing) and lists the languages ("Languages": name =
// text shown in the menu). The language file "Languages/<name>.ini" has one section per
// window, keyed by control name, and the section "Messages", keyed by message id. All of it
// is loaded into memory; lookups of sections and keys are exact (letter case matters), and
// when a key occurs twice in a section the first wins. A missing language file gives no
// sections, so every lookup yields empty text.
//
// Used on the user-interface thread only; workers receive texts fetched beforehand.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace salvora {

class LanguageSettings {
 public:
  // Control name or message id -> text. Ordered, so applying a section visits keys in order.
  using Section = std::map<std::string, std::u16string>;

  struct Language {
    std::string name;          // file name without ".ini"
    std::u16string menu_text;  // shown in the language menu
  };

  // Loads "config.ini" and the current language file from `app_dir` (text ending in "/").
  explicit LanguageSettings(std::string app_dir);

  // The process-wide object; the first call loads everything from GetAppDir().
  [[nodiscard]] static LanguageSettings& Get();

  // The section `name`; a missing one is added empty and returned.
  [[nodiscard]] Section& GetSection(const std::string& name);
  // The text of `key`; a missing key is added with empty text, which is returned.
  [[nodiscard]] static std::u16string Text(Section& section, const std::string& key);
  // Shorthand for Text(GetSection(section), key).
  [[nodiscard]] std::u16string Text(const std::string& section, const std::string& key);

  [[nodiscard]] std::string CurrentLanguage() const { return current_; }
  [[nodiscard]] const std::vector<Language>& Languages() const { return languages_; }
  [[nodiscard]] const std::map<std::string, Section>& Sections() const { return sections_; }

  // Writes `name` as the current language into "config.ini", reads it back and reloads the
  // language file. Returns 0, or the errno of the failed write (nothing is reloaded then).
  [[nodiscard]] int SetLanguage(const std::string& name);

  [[nodiscard]] const std::string& settings_path() const { return settings_path_; }
  [[nodiscard]] const std::string& languages_folder() const { return languages_folder_; }

 private:
  void ReadCurrentLanguage();
  void LoadLanguageFile();

  std::string settings_path_;
  std::string languages_folder_;
  std::string current_;
  std::vector<Language> languages_;
  std::map<std::string, Section> sections_;
};

}  // namespace salvora
