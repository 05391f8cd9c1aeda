// salvora-cli as a user runs it: exit statuses, sentences and the JSON output.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/run_program.h"
#include "support/sample_backup.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using Outcome = sample::ProgramOutcome;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("cli_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "data");
    // The program's work folder and scratch data stay inside the test's folder.
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(dir_); }

  Outcome Run(const std::vector<std::string>& args) {
    return sample::RunProgram(fs::path(SALVORA_BIN_DIR) / "salvora-cli", args);
  }

  fs::path dir_;
};

TEST_F(CliTest, ScansTheRealPartialBackup) {
  const fs::path backup = fs::path(SALVORA_FIXTURES_DIR) / "ios14-backup-partial";
  if (!fs::exists(backup)) GTEST_SKIP() << "fixtures folder " << SALVORA_FIXTURES_DIR << " is absent";
  Outcome text = Run({"scan", backup.string()});
  EXPECT_EQ(text.status, 0) << text.output;
  EXPECT_NE(text.output.find("Camera Roll"), std::string::npos);
  EXPECT_NE(text.output.find("WhatsApp Attachments"), std::string::npos);
  EXPECT_NE(text.output.find("Scan finished."), std::string::npos);

  Outcome json = Run({"scan", backup.string(), "--json"});
  EXPECT_EQ(json.status, 0);
  // Exactly one JSON object: the eleven categories, each empty in this partial copy.
  EXPECT_EQ(json.output.rfind("{\"result\": 0, \"categories\": {\"CameraRoll\": {\"count\": 0", 0), 0u)
      << json.output;
  EXPECT_NE(json.output.find("\"WhatsAppAttachments\": {\"count\": 0, \"bytes\": 0}}}\n"),
            std::string::npos);
  EXPECT_EQ(std::count(json.output.begin(), json.output.end(), '\n'), 1);
}

TEST_F(CliTest, ScansABuilderBackupAsItsReportSays) {
  sample::SampleOptions options;
  ASSERT_TRUE(sample::PresetOptions("tiny", options));
  sample::SampleReport report;
  ASSERT_EQ(sample::WriteSampleBackup(dir_ / "backup", options, report), 0) << report.error;
  Outcome json = Run({"scan", (dir_ / "backup").string(), "--json"});
  ASSERT_EQ(json.status, 0) << json.output;
  auto count_of = [&](const std::string& name) {
    size_t at = json.output.find("\"" + name + "\": {\"count\": ");
    if (at == std::string::npos) return -1;
    return std::atoi(json.output.c_str() + at + name.size() + 13);
  };
  EXPECT_EQ(count_of("CameraRoll"), report.camera_roll);
  EXPECT_EQ(count_of("Messages"), report.message_conversations);
  EXPECT_EQ(count_of("Contacts"), report.contacts);
  EXPECT_EQ(count_of("CallHistory"), report.calls);
  EXPECT_EQ(count_of("Notes"), report.notes);
  EXPECT_EQ(count_of("WhatsApp"), report.whatsapp_chats);
  EXPECT_EQ(count_of("AppPhotos"), report.app_photos);
  EXPECT_EQ(count_of("AppVideos"), report.app_videos);
}

TEST_F(CliTest, ErrorsAreSentencesWithTheirExitStatus) {
  fs::create_directories(dir_ / "no-manifest");
  std::ofstream(dir_ / "plain.txt") << "x";
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{"scan", (dir_ / "no-manifest").string()}, 1, "holds neither Manifest.db nor Manifest.mbdb"},
      {{"scan", (dir_ / "missing").string()}, 1, "does not exist or is not a folder"},
      {{"scan", (dir_ / "plain.txt").string()}, 1, "does not exist or is not a folder"},
      {{"scan"}, 64, "Usage: salvora-cli scan"},
      {{"scan", "a", "b"}, 64, "Only one source"},
      {{"scan", "a", "--password"}, 64, "--password needs the password"},
      {{"scan", "a", "--password-file", (dir_ / "nope").string()}, 64, "cannot be read"},
      {{"scan", "a", "--frobnicate"}, 64, "Unknown option"},
      {{"frobnicate"}, 64, "Unknown command"},
      {{"list", "--root", (dir_ / "missing").string()}, 0, "No backup was found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    Outcome outcome = Run(c.args);
    EXPECT_EQ(outcome.status, c.status) << outcome.output;
    EXPECT_NE(outcome.output.find(c.says), std::string::npos) << outcome.output;
  }
}

TEST_F(CliTest, EncryptedBackupNeedsTheRightPassword) {
  const fs::path fixture =
      fs::path(SALVORA_FIXTURES_DIR) / "encrypted-synthetic/modern/00008030-001a2b3c4d5e6f70";
  if (!fs::exists(fixture)) GTEST_SKIP() << "fixtures folder " << SALVORA_FIXTURES_DIR << " is absent";
  if (!fs::exists(fs::path(SALVORA_BIN_DIR) / "tool")) GTEST_SKIP() << "the decryptor is not built";
  // The decryptor writes its decrypted manifest into the backup folder: work on a copy.
  const fs::path backup = dir_ / "modern";
  fs::copy(fixture, backup, fs::copy_options::recursive);
  for (const auto& e : fs::recursive_directory_iterator(backup)) {
    fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
  }
  fs::permissions(backup, fs::perms::owner_write, fs::perm_options::add);

  Outcome none = Run({"scan", backup.string()});
  EXPECT_EQ(none.status, 64);
  EXPECT_NE(none.output.find("is encrypted"), std::string::npos);

  Outcome wrong = Run({"scan", backup.string(), "--password", "fixture-passwort 1"});
  EXPECT_EQ(wrong.status, 3) << wrong.output;
  EXPECT_NE(wrong.output.find("password does not open"), std::string::npos);

  std::ofstream(dir_ / "pw") << "fixture-p\xC3\xA4ssw\xC3\xB6rd 1\n";
  Outcome right = Run({"scan", backup.string(), "--password-file", (dir_ / "pw").string(), "--json"});
  EXPECT_EQ(right.status, 0) << right.output;
  EXPECT_NE(right.output.find("\"CameraRoll\": {\"count\": 1"), std::string::npos) << right.output;
}

}  // namespace
}  // namespace salvora
