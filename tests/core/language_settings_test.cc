#include "core/language_settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/app_services.h"
#include "core/format.h"
#include "core/text.h"
#include "platform/profile_file.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;

class LanguageSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("lang_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_ / "Languages");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const fs::path& rel, const std::string& text) {
    std::ofstream(dir_ / rel, std::ios::binary) << text;
  }
  std::string AppDir() const { return dir_.string() + "/"; }

  fs::path dir_;
};

TEST_F(LanguageSettingsTest, MissingConfigMeansEnglishAndNoLanguages) {
  Write("Languages/English.ini", "[Messages]\nMSG0403=Information\n");
  LanguageSettings settings(AppDir());
  EXPECT_EQ(settings.CurrentLanguage(), "English");
  EXPECT_TRUE(settings.Languages().empty());
  EXPECT_EQ(settings.Text("Messages", "MSG0403"), u"Information");
}

TEST_F(LanguageSettingsTest, LoadsTheLanguageNamedInConfig) {
  Write("config.ini",
        "[defaultlanguage]\nDEFAULT=French\n[Languages]\nEnglish=English\nFrench=Fran\xC3\xA7"
        "ais\nBare\n");
  Write("Languages/French.ini",
        "[MainWnd]\nBtnScan=Analyser\nbtnscan=other case is another key\n"
        "BtnScan=second occurrence\n[Messages]\nMSG0403=Information en fran\xC3\xA7"
        "ais\nNoEquals\n[MainWnd]\nBtnHome=Accueil\nBtnScan=third\n");
  LanguageSettings settings(AppDir());
  EXPECT_EQ(settings.CurrentLanguage(), "French");
  ASSERT_EQ(settings.Languages().size(), 3u);
  EXPECT_EQ(settings.Languages()[1].name, "French");
  EXPECT_EQ(settings.Languages()[1].menu_text, u"Fran\u00E7ais");
  EXPECT_EQ(settings.Languages()[2].name, "Bare");  // an entry without "=" is name and text
  EXPECT_EQ(settings.Languages()[2].menu_text, u"Bare");

  auto& main = settings.GetSection("MainWnd");
  EXPECT_EQ(LanguageSettings::Text(main, "BtnScan"), u"Analyser");  // the first one wins
  EXPECT_EQ(LanguageSettings::Text(main, "btnscan"), u"other case is another key");
  // A repeated section adds nothing: profile lookups read the first section of a name.
  EXPECT_EQ(LanguageSettings::Text(main, "BtnHome"), u"");
  EXPECT_EQ(settings.Text("Messages", "MSG0403"), u"Information en fran\u00E7ais");
  EXPECT_EQ(settings.Text("Messages", "NoEquals"), u"NoEquals");
  EXPECT_EQ(settings.Text("messages", "MSG0403"), u"");  // section lookups are exact
}

TEST_F(LanguageSettingsTest, MissingLanguageFileGivesEmptyTexts) {
  Write("config.ini", "[DefaultLanguage]\nDefault=French\n");
  Write("Languages/English.ini", "[Messages]\nMSG0403=Information\n");
  LanguageSettings settings(AppDir());
  EXPECT_TRUE(settings.Sections().empty());
  EXPECT_EQ(settings.Text("Messages", "MSG0403"), u"");
  // Looking up adds the empty section and key, as the windows expect.
  EXPECT_EQ(settings.Sections().count("Messages"), 1u);
  EXPECT_EQ(settings.Sections().at("Messages").count("MSG0403"), 1u);
}

TEST_F(LanguageSettingsTest, LanguageNameNeverLeavesTheFolder) {
  Write("config.ini", "[DefaultLanguage]\nDefault=../secret\n");
  Write("secret.ini", "[Messages]\nMSG0403=leaked\n");
  LanguageSettings settings(AppDir());
  EXPECT_EQ(settings.Text("Messages", "MSG0403"), u"");
}

TEST_F(LanguageSettingsTest, SetLanguageWritesConfigAndReloads) {
  Write("config.ini", "; settings\n[DefaultLanguage]\nDefault=English\n[Languages]\nEnglish=English\n");
  Write("Languages/English.ini", "[Messages]\nMSG0403=Information\n");
  Write("Languages/German.ini", "[Messages]\nMSG0403=Hinweis\n");
  LanguageSettings settings(AppDir());
  ASSERT_EQ(settings.SetLanguage("German"), 0);
  EXPECT_EQ(settings.CurrentLanguage(), "German");
  EXPECT_EQ(settings.Text("Messages", "MSG0403"), u"Hinweis");
  EXPECT_EQ(platform::ProfileReadString(dir_ / "config.ini", "DefaultLanguage", "Default", ""),
            "German");
  EXPECT_EQ(platform::ProfileReadString(dir_ / "config.ini", "Languages", "English", ""),
            "English");
}

TEST_F(LanguageSettingsTest, LongLanguageNameIsCutAt63Characters) {
  std::string name(80, 'x');
  Write("config.ini", "[DefaultLanguage]\nDefault=" + name + "\n");
  LanguageSettings settings(AppDir());
  EXPECT_EQ(settings.CurrentLanguage(), std::string(63, 'x'));
}

// The language files we ship: every section and message id, and the same keys in each.
TEST(ShippedLanguagesTest, EveryLanguageHasEveryText) {
  const std::string app_dir = std::string(SALVORA_SOURCE_DIR) + "/resources/";
  const char* kSections[] = {"MainWnd",           "PageIosDevice", "PageItunesBackup",
                             "PageScan",          "PreviewProcessWnd", "PrintWnd",
                             "RecoverProcessWnd", "MessageBox",    "DecryptionWnd",
                             "MenuWnd",           "Messages"};
  const char* kMessageIds[] = {
      "MSG0201", "MSG0301", "MSG0302", "MSG0401", "MSG0402", "MSG0403", "MSG0404",
      "MSG0405", "MSG0501", "MSG0502", "MSG0503", "MSG0504", "MSG0506", "MSG0507",
      "MSG0508", "MSG0509", "MSG0510", "MSG0511", "MSG0514", "MSG0601", "MSG0602",
      "MSG0901", "MSG0902", "MSG0903", "MSG1101", "MSG1102", "MSG1103", "MSG1104",
      "MSG1207", "MSG1209", "MSG1210"};

  LanguageSettings english(app_dir);
  ASSERT_EQ(english.CurrentLanguage(), "English");
  ASSERT_GE(english.Languages().size(), 2u);
  for (const char* section : kSections) {
    SCOPED_TRACE(section);
    EXPECT_FALSE(english.GetSection(section).empty());
  }
  for (const char* id : kMessageIds) {
    SCOPED_TRACE(id);
    EXPECT_FALSE(english.Text("Messages", id).empty());
  }
  // MSG0514 and MSG1102 are formats: two sizes and two counts, four counts.
  EXPECT_EQ(FormatText(english.Text("Messages", "MSG0514"),
                       {U("1.00 KB"), int64_t{1}, U("2.00 KB"), int64_t{2}})
                .find(u"%"),
            std::u16string::npos);

  for (const auto& language : english.Languages()) {
    SCOPED_TRACE(language.name);
    const std::string file = app_dir + "Languages/" + language.name + ".ini";
    ASSERT_TRUE(std::filesystem::exists(file));
    for (const auto& [section, texts] : english.Sections()) {
      std::vector<std::string> lines = platform::ProfileReadSection(file, section);
      for (const auto& [key, text] : texts) {
        if (text.empty()) continue;
        SCOPED_TRACE(section + "/" + key);
        bool found = false;
        for (const auto& line : lines) {
          auto entry = platform::SplitProfileEntry(line);
          found = found || (entry.key == key && !entry.text.empty());
        }
        EXPECT_TRUE(found);
      }
    }
  }
}

TEST(AppServicesTest, FirstRunCreatesTheMarkerOnce) {
  fs::path home = fs::temp_directory_path() / ("first_run_" + std::to_string(::getpid()));
  fs::remove_all(home);
  const char* old = std::getenv("XDG_DATA_HOME");
  std::string saved = old != nullptr ? old : "";
  ::setenv("XDG_DATA_HOME", home.c_str(), 1);
  ReportFirstRun();
  EXPECT_TRUE(fs::is_directory(home / "TarnwickiOSRecovery" / "viewInstall"));
  ReportFirstRun();  // a second run changes nothing and does not fail
  EXPECT_TRUE(fs::is_directory(home / "TarnwickiOSRecovery" / "viewInstall"));

  std::ofstream(home / "TarnwickiOSRecovery" / "tmp.jpg") << "x";
  std::ofstream(home / "TarnwickiOSRecovery" / "tmp.wav") << "x";
  RunShutdownCleanup();
  EXPECT_FALSE(fs::exists(home / "TarnwickiOSRecovery" / "tmp.jpg"));
  EXPECT_FALSE(fs::exists(home / "TarnwickiOSRecovery" / "tmp.wav"));
  EXPECT_TRUE(fs::is_directory(home / "TarnwickiOSRecovery" / "viewInstall"));

  if (old != nullptr) {
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
  fs::remove_all(home);
}

TEST(AppServicesTest, AppDirEndsWithSlash) {
  const std::string& dir = GetAppDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(fs::exists(dir));
}

}  // namespace
}  // namespace salvora
