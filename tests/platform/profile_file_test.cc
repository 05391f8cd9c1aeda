#include "platform/profile_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

namespace salvora::platform {
namespace {

class ProfileFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("profile_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    file_ = dir_ / "settings.ini";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Write(const std::string& text) {
    std::ofstream(file_, std::ios::binary) << text;
  }
  std::string Read() {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path dir_;
  std::filesystem::path file_;
};

TEST_F(ProfileFileTest, ReadsWithProfileRules) {
  Write(
      "\xEF\xBB\xBF; a comment\r\n"
      "[General]\r\n"
      "  Name = first value \r\n"
      "name=second value\r\n"
      "Url=a=b=c\r\n"
      "Quoted=\"  padded  \"\r\n"
      "JustText\r\n"
      "[general]\r\n"
      "Later=ignored, the first section wins\r\n"
      "[Other]\r\n"
      "Name=other\r\n");
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"General", "Name", "first value"},      // blanks trimmed; first key wins
      {"GENERAL", "NAME", "first value"},      // sections and keys ignore letter case
      {"General", "Url", "a=b=c"},             // the first "=" splits
      {"General", "Quoted", "  padded  "},     // quotes are stripped, the inside kept
      {"General", "Later", "fallback"},        // only the first [General] is read
      {"Other", "name", "other"},
      {"Missing", "Name", "fallback"},
      {"General", "Missing", "fallback"},
      {"General", "JustText", "fallback"},     // a line without "=" is no key
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(ProfileReadString(file_, c.section, c.key, "fallback"), c.expected);
  }
  EXPECT_EQ(ProfileSectionNames(file_),
            (std::vector<std::string>{"General", "general", "Other"}));
  EXPECT_EQ(ProfileReadSection(file_, "general"),
            (std::vector<std::string>{"Name = first value", "name=second value", "Url=a=b=c",
                                      "Quoted=\"  padded  \"", "JustText"}));
}

TEST_F(ProfileFileTest, MissingFileReadsEmpty) {
  EXPECT_EQ(ProfileReadString(file_, "A", "b", "dflt"), "dflt");
  EXPECT_TRUE(ProfileReadSection(file_, "A").empty());
  EXPECT_TRUE(ProfileSectionNames(file_).empty());
}

TEST_F(ProfileFileTest, WriteCreatesFileSectionAndKey) {
  ASSERT_EQ(ProfileWriteString(file_, "DefaultLanguage", "Default", "German"), 0);
  EXPECT_EQ(ProfileReadString(file_, "defaultlanguage", "default", ""), "German");
  ASSERT_EQ(ProfileWriteString(file_, "Other", "Key", "v"), 0);
  EXPECT_EQ(Read(), "[DefaultLanguage]\nDefault=German\n[Other]\nKey=v\n");
}

TEST_F(ProfileFileTest, WriteChangesOnlyTheFirstMatchingKey) {
  Write("; keep me\r\n[A]\r\nx=1\r\nDEFAULT=old\r\ndefault=older\r\n\r\n[B]\r\ny=2");
  ASSERT_EQ(ProfileWriteString(file_, "a", "Default", "new"), 0);
  EXPECT_EQ(Read(), "; keep me\r\n[A]\r\nx=1\r\nDefault=new\r\ndefault=older\r\n\r\n[B]\r\ny=2\r\n");
  ASSERT_EQ(ProfileWriteString(file_, "A", "z", "3"), 0);  // appended after the last entry
  EXPECT_EQ(Read(),
            "; keep me\r\n[A]\r\nx=1\r\nDefault=new\r\ndefault=older\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
}

TEST_F(ProfileFileTest, WriteIntoUnwritableFolderFails) {
  EXPECT_NE(ProfileWriteString(dir_ / "no-such-folder" / "x.ini", "A", "b", "c"), 0);
}

TEST(ProfileEntryTest, SplitsAtTheFirstEquals) {
  EXPECT_EQ(SplitProfileEntry("Name = Ann = Lee").key, "Name");
  EXPECT_EQ(SplitProfileEntry("Name = Ann = Lee").text, "Ann = Lee");
  EXPECT_EQ(SplitProfileEntry("no equals").key, "no equals");
  EXPECT_EQ(SplitProfileEntry("no equals").text, "no equals");
}

}  // namespace
}  // namespace salvora::platform
