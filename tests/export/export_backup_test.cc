// Exports of builder backups through the scan session and the local-backup engine, and the
// command line's export command as a user runs it.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "backup/backup_reader.h"
#include "backup/local_buckup_recovery.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "export/output_layout.h"
#include "export/recover_job.h"
#include "export_test_util.h"
#include "media/file_classifier.h"
#include "support/run_program.h"
#include "scan/scan_session.h"
#include "support/sample_backup.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ReadFile;
using testing::TempFolder;

class ExportBackupTest : public ::testing::Test {
 protected:
  fs::path Build(sample::SampleOptions options, sample::SampleReport& report) {
    fs::path folder = tmp_.path() / "backup";
    EXPECT_EQ(sample::WriteSampleBackup(folder, options, report), 0) << report.error;
    return folder;
  }

  // Scans `folder` as the window and the command line do.
  void Scan(const fs::path& folder) {
    BackupReaderFolders folders;
    folders.backupRoot = tmp_.path() / "root";
    folders.workFolder = tmp_.path() / "work";
    folders.scratchRoot = tmp_.path() / "scratch";
    reader_ = std::make_unique<BackupReader>(folders);
    ScanSessionSetup setup;
    setup.engines.localBackup = CreateLocalBackupEngine;
    setup.reader = reader_.get();
    setup.splitAppFiles = SplitAppFiles;
    session_ = std::make_unique<CScanSession>(std::move(setup), nullptr);
    BackupInfo info;
    info.folderPath = folder;
    info.displayName = u"Ann's iPhone";
    session_->SetSelectedBackup(info);
    ASSERT_EQ(session_->Start(ScanSourceBackup), kOk);
    session_->Wait();
    ASSERT_EQ(session_->Result(), kOk);
  }

  RecoverSource Source() {
    return RecoverSource{session_->WithStatistics([](const CStatisticsObj& s) { return &s; }),
                         session_->Engine(), &session_->Results().messages,
                         &session_->Results().whatsApp, u"Ann's iPhone"};
  }

  TempFolder tmp_;
  std::unique_ptr<BackupReader> reader_;
  std::unique_ptr<CScanSession> session_;
};

TEST_F(ExportBackupTest, ThreePhotosOfWhichTheSecondCannotBeRead) {
  sample::SampleOptions options;
  ASSERT_TRUE(sample::PresetOptions("tiny", options));
  options.edge_cases = false;
  options.handles = options.messages = options.message_attachments = 0;
  options.contacts = options.calls = options.notes = 0;
  options.whatsapp_chats = options.whatsapp_messages = options.whatsapp_media = 0;
  options.camera_roll = 3;
  options.photo_stream = options.app_files = options.missing_files = 0;
  sample::SampleReport report;
  fs::path folder = Build(options, report);
  ASSERT_NO_FATAL_FAILURE(Scan(folder));
  const FileList& photos = session_->Results().cameraRoll;
  ASSERT_EQ(photos.size(), 3u);
  // The second photo goes away between the scan and the export.
  fs::remove(photos[1].path);

  RecoverJob job(tmp_.path() / "out", Source(), nullptr);
  ASSERT_EQ(job.LoadTemplates(fs::path(SALVORA_BIN_DIR)), 0);
  job.Run();
  EXPECT_EQ(job.Counts().done, 3);
  EXPECT_EQ(job.Counts().failed, 1);
  EXPECT_EQ(job.Counts().total, 3);
  std::vector<RecoverDetailRow> rows = job.DetailRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0].failed);
  EXPECT_EQ(rows[0].path.filename().string(), Utf16ToUtf8(photos[1].name));
  EXPECT_FALSE(fs::exists(rows[0].path));
  for (size_t i : {0u, 2u}) {
    fs::path copy = tmp_.path() / "out" / "Camera Roll" / PathOf(photos[i].name);
    EXPECT_EQ(ReadFile(copy), ReadFile(photos[i].path));
  }
  EXPECT_EQ(rows[1].status, u"Success");
  EXPECT_EQ(rows[2].status, u"Success");
}

TEST_F(ExportBackupTest, EverythingOfTheTinyPresetStaysInsideTheRoot) {
  sample::SampleOptions options;
  ASSERT_TRUE(sample::PresetOptions("tiny", options));  // edge cases: hostile names included
  sample::SampleReport report;
  fs::path folder = Build(options, report);
  ASSERT_NO_FATAL_FAILURE(Scan(folder));
  const fs::path out = tmp_.path() / "out";
  RecoverJob job(out, Source(), nullptr);
  ASSERT_EQ(job.LoadTemplates(fs::path(SALVORA_BIN_DIR)), 0);
  job.Run();
  EXPECT_EQ(job.Counts().failed, 0);
  EXPECT_EQ(job.Counts().done, job.Counts().total);
  // Beside the output root lie only the backup and the reader's own folders.
  for (const auto& e : fs::directory_iterator(tmp_.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "backup" || name == "out" || name == "root" || name == "scratch" ||
                name == "work")
        << name;
  }
  EXPECT_TRUE(fs::exists(out / "Message" / "sms.csv"));
  EXPECT_EQ(ReadFile(out / "Message" / "sms.db").substr(0, 15), "SQLite format 3");
}

// salvora-cli export, run as a program.
using Outcome = sample::ProgramOutcome;

Outcome RunCli(const std::vector<std::string>& args, const fs::path& data_home) {
  ::setenv("XDG_DATA_HOME", data_home.c_str(), 1);
  return sample::RunProgram(fs::path(SALVORA_BIN_DIR) / "salvora-cli", args, std::chrono::seconds(60));
}

TEST_F(ExportBackupTest, CommandLineExport) {
  if (!fs::exists(fs::path(SALVORA_BIN_DIR) / "salvora-cli")) GTEST_SKIP() << "no salvora-cli";
  sample::SampleOptions options;
  ASSERT_TRUE(sample::PresetOptions("tiny", options));
  sample::SampleReport report;
  fs::path folder = Build(options, report);
  const fs::path data = tmp_.path() / "data";
  const fs::path out = tmp_.path() / "out";

  Outcome all = RunCli({"export", folder.string(), out.string(), "--json"}, data);
  EXPECT_EQ(all.status, 0) << all.output;
  EXPECT_EQ(all.output.rfind("{\"result\": 0, \"done\": ", 0), 0u) << all.output;
  EXPECT_NE(all.output.find(", \"failed\": 0, \"total\": "), std::string::npos);
  EXPECT_NE(all.output.find("\"root\": \"" + out.string() + "\"}\n"), std::string::npos);

  Outcome contacts = RunCli(
      {"export", folder.string(), (tmp_.path() / "c").string(), "--only", "contacts", "--json"},
      data);
  EXPECT_EQ(contacts.status, 0) << contacts.output;
  EXPECT_NE(contacts.output.find("\"done\": " + std::to_string(report.contacts) +
                                 ", \"failed\": 0, \"total\": " + std::to_string(report.contacts)),
            std::string::npos)
      << contacts.output;
  EXPECT_FALSE(fs::exists(tmp_.path() / "c" / "Camera Roll"));

  // The extractors read live rows only, so the deleted-only view exports nothing.
  Outcome deleted = RunCli(
      {"export", folder.string(), (tmp_.path() / "d").string(), "--deleted-only", "--json"}, data);
  EXPECT_EQ(deleted.status, 0) << deleted.output;
  EXPECT_NE(deleted.output.find("\"done\": 0, \"failed\": 0"), std::string::npos);

  Outcome text = RunCli({"export", folder.string(), (tmp_.path() / "t").string()}, data);
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.output.find("The export is in " + (tmp_.path() / "t").string()), std::string::npos)
      << text.output;

  Outcome bad = RunCli({"export", folder.string(), out.string(), "--only", "Photos"}, data);
  EXPECT_EQ(bad.status, 64);
  Outcome missing = RunCli({"export", (tmp_.path() / "none").string(), out.string()}, data);
  EXPECT_EQ(missing.status, 1);
}

}  // namespace
}  // namespace salvora
