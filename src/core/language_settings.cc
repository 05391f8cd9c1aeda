#include "core/language_settings.h"

#include "core/app_services.h"
#include "core/text.h"
#include "platform/profile_file.h"

namespace salvora {
namespace {

constexpr const char* kDefaultLanguage = "English";
// The current language is read into a 64-character buffer.
constexpr size_t kMaxLanguageName = 63;

}  // namespace

LanguageSettings::LanguageSettings(std::string app_dir)
    : settings_path_(app_dir + "config.ini"), languages_folder_(app_dir + "Languages/") {
  ReadCurrentLanguage();
  for (const std::string& line : platform::ProfileReadSection(settings_path_, "Languages")) {
    platform::ProfileEntry entry = platform::SplitProfileEntry(line);
    languages_.push_back({entry.key, Utf8ToUtf16(entry.text)});
  }
  LoadLanguageFile();
}

LanguageSettings& LanguageSettings::Get() {
  static LanguageSettings* settings = new LanguageSettings(GetAppDir());
  return *settings;
}

void LanguageSettings::ReadCurrentLanguage() {
  current_ = platform::ProfileReadString(settings_path_, "DefaultLanguage", "Default",
                                         kDefaultLanguage);
  if (current_.size() > kMaxLanguageName) current_.resize(kMaxLanguageName);
}

void LanguageSettings::LoadLanguageFile() {
  sections_.clear();
  // A language name is a file name inside the languages folder, never a path.
  if (current_.empty() || current_.find('/') != std::string::npos || current_ == "." ||
      current_ == "..") {
    return;
  }
  const std::string file = languages_folder_ + current_ + ".ini";
  for (const std::string& name : platform::ProfileSectionNames(file)) {
    Section& section = sections_[name];
    for (const std::string& line : platform::ProfileReadSection(file, name)) {
      platform::ProfileEntry entry = platform::SplitProfileEntry(line);
      section.emplace(entry.key, Utf8ToUtf16(entry.text));  // the first occurrence wins
    }
  }
}

LanguageSettings::Section& LanguageSettings::GetSection(const std::string& name) {
  return sections_[name];
}

std::u16string LanguageSettings::Text(Section& section, const std::string& key) {
  return section[key];
}

std::u16string LanguageSettings::Text(const std::string& section, const std::string& key) {
  return Text(GetSection(section), key);
}

int LanguageSettings::SetLanguage(const std::string& name) {
  int rc = platform::ProfileWriteString(settings_path_, "DefaultLanguage", "Default", name);
  if (rc != 0) return rc;
  ReadCurrentLanguage();
  LoadLanguageFile();
  return 0;
}

}  // namespace salvora
