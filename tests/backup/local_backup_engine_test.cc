// The local-backup engine end to end: scans of builder backups in both layouts through the
// scan session, the progress plan, stops, the file operations and the scratch root.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "backup/backup_reader.h"
#include "backup/file_copy.h"
#include "backup/fixed_file_ids.h"
#include "backup/local_buckup_recovery.h"
#include "backup/scratch_root.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "media/file_classifier.h"
#include "scan/scan_session.h"
#include "support/sample_backup.h"
#include "support/sample_databases.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Everything about a folder that a reader could change: names, kinds, sizes, times, bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> state;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    struct stat st {};
    ::lstat(entry.path().c_str(), &st);
    std::string facts = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                        std::to_string(st.st_mtim.tv_sec) + "." +
                        std::to_string(st.st_mtim.tv_nsec);
    if (S_ISREG(st.st_mode)) facts += " " + ReadBytes(entry.path());
    state[fs::relative(entry.path(), folder).string()] = facts;
  }
  return state;
}

class LocalBackupEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("local_engine_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    folders_.backupRoot = dir_ / "root";
    folders_.workFolder = dir_ / "work";
    folders_.scratchRoot = dir_ / "scratch";
    folders_.programFolder = dir_ / "program";
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Build(const std::string& name, int generation, sample::SampleReport& report,
                 const char* preset = "tiny") {
    sample::SampleOptions options;
    EXPECT_TRUE(sample::PresetOptions(preset, options));
    options.generation = generation;
    fs::path folder = dir_ / name;
    EXPECT_EQ(sample::WriteSampleBackup(folder, options, report), 0) << report.error;
    return folder;
  }

  BackupInfo InfoOf(const fs::path& folder) {
    BackupInfo info;
    info.folderPath = folder;
    return info;
  }

  fs::path dir_;
  BackupReaderFolders folders_;
};

// Runs a whole scan through the session, as the command line and the window do.
struct SessionScan {
  explicit SessionScan(BackupReader& reader) {
    ScanSessionSetup setup;
    setup.engines.localBackup = CreateLocalBackupEngine;
    setup.reader = &reader;
    setup.splitAppFiles = SplitAppFiles;
    session = std::make_unique<CScanSession>(std::move(setup), nullptr);
  }
  int Run(const BackupInfo& info) {
    session->SetSelectedBackup(info);
    int rc = session->Start(ScanSourceBackup);
    session->Wait();
    return rc;
  }
  std::unique_ptr<CScanSession> session;
};

TEST_F(LocalBackupEngineTest, ScansBothLayoutsEndToEnd) {
  for (int generation : {9, 15}) {
    SCOPED_TRACE(generation);
    sample::SampleReport report;
    fs::path folder = Build("gen" + std::to_string(generation), generation, report);
    ASSERT_EQ(report.two_level, generation >= 10);
    const auto before = Snapshot(folder);

    BackupReader reader(folders_);
    SessionScan scan(reader);
    ASSERT_EQ(scan.Run(InfoOf(folder)), kOk);
    ASSERT_EQ(scan.session->Result(), kOk);
    EXPECT_EQ(scan.session->StepResult(ScanStep::kOpen), kOk);
    EXPECT_EQ(reader.manifest().size(), static_cast<size_t>(report.manifest_entries));

    const ScanResults& r = scan.session->Results();
    EXPECT_EQ(r.Count(CategoryId::CameraRoll), static_cast<uint32_t>(report.camera_roll));
    EXPECT_EQ(r.Count(CategoryId::PhotoStream), static_cast<uint32_t>(report.photo_stream));
    EXPECT_EQ(r.Count(CategoryId::AppPhotos), static_cast<uint32_t>(report.app_photos));
    EXPECT_EQ(r.Count(CategoryId::AppVideos), static_cast<uint32_t>(report.app_videos));
    EXPECT_EQ(r.Count(CategoryId::Messages), static_cast<uint32_t>(report.message_conversations));
    size_t messages = 0;
    for (const auto& [handle, list] : r.messages) messages += list.size();
    EXPECT_EQ(messages, static_cast<size_t>(report.messages));
    EXPECT_EQ(r.Count(CategoryId::MessageAttachments),
              static_cast<uint32_t>(report.message_attachments));
    EXPECT_EQ(r.Count(CategoryId::Contacts), static_cast<uint32_t>(report.contacts));
    EXPECT_EQ(r.Count(CategoryId::CallHistory), static_cast<uint32_t>(report.calls));
    EXPECT_EQ(r.Count(CategoryId::Notes), static_cast<uint32_t>(report.notes));
    EXPECT_EQ(r.Count(CategoryId::WhatsApp), static_cast<uint32_t>(report.whatsapp_chats));
    size_t chats = 0;
    for (const auto& [chat, list] : r.whatsApp) chats += list.size();
    EXPECT_EQ(chats, static_cast<size_t>(report.whatsapp_messages));
    EXPECT_EQ(r.Count(CategoryId::WhatsAppAttachments),
              static_cast<uint32_t>(report.whatsapp_attachments));

    // Sorted by name, as the lists show them.
    for (size_t i = 1; i < r.cameraRoll.size(); ++i) {
      EXPECT_LE(CompareNoCase(r.cameraRoll[i - 1].name, r.cameraRoll[i].name), 0);
    }
    // Reading never changes the user's backup: no journal, no WAL, no touched time.
    EXPECT_EQ(Snapshot(folder), before);
  }
}

// Records every report of the engine's operations, called in the scan order.
struct Recorder {
  std::vector<int> reports;
  int stopAbove = 1000;
  static int Callback(void* self, int percent) {
    auto* r = static_cast<Recorder*>(self);
    r->reports.push_back(percent);
    return percent > r->stopAbove ? kStopped : 0;
  }
};

TEST_F(LocalBackupEngineTest, ProgressFollowsThePlanAndEndsAt98) {
  sample::SampleReport report;
  fs::path folder = Build("b", 15, report);
  BackupReader reader(folders_);
  reader.SetCurrentBackup(InfoOf(folder));
  CLocalBuckupRecovery engine;
  engine.Attach(&reader);
  Recorder recorder;
  engine.SetProgressCallback(Recorder::Callback, &recorder);

  ScanResults r;
  // The value each operation ends with: the advanced progressBase (span 11).
  struct Step {
    const char* name;
    std::function<int()> run;
    int base;
  } steps[] = {
      {"Open", [&] { return engine.Open(u""); }, 12},
      {"Photos", [&] { return engine.ReadPhotos(r.cameraRoll, r.photoStream); }, 34},
      {"Messages", [&] { return engine.ReadMessages(r.messages); }, 39},
      {"Attachments", [&] { return engine.ReadMessageAttachments(r.messageAttachments); }, 50},
      {"Contacts", [&] { return engine.ReadContacts(r.contacts); }, 55},
      {"Calls", [&] { return engine.ReadCallHistory(r.calls); }, 60},
      {"Notes", [&] { return engine.ReadNotes(r.notes); }, 65},
      {"AppFiles", [&] { return engine.ReadAppFiles(r.appFiles); }, 76},
      {"WhatsApp", [&] { return engine.ReadWhatsApp(r.whatsApp); }, 87},
      {"WhatsAppAttachments",
       [&] { return engine.ReadWhatsAppAttachments(r.whatsAppAttachments); }, 98},
  };
  int previous_base = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    recorder.reports.clear();
    EXPECT_EQ(step.run(), kOk);
    ASSERT_FALSE(recorder.reports.empty());
    EXPECT_EQ(recorder.reports.back(), step.base);
    EXPECT_EQ(reader.progress().progressBase, step.base);
    for (int value : recorder.reports) EXPECT_LE(value, step.base > 34 ? 98 : step.base);
    if (std::string(step.name) == "Open") {
      EXPECT_EQ(recorder.reports, (std::vector<int>{0, 1, 12}));
    }
    if (std::string(step.name) == "Photos") {
      // Per item: base + 22 * k / n, rising from the last base to the new one.
      EXPECT_GE(recorder.reports.front(), previous_base);
      EXPECT_TRUE(std::is_sorted(recorder.reports.begin(), recorder.reports.end()));
    }
    previous_base = step.base;
  }
  EXPECT_EQ(r.whatsAppAttachments.size(), static_cast<size_t>(report.whatsapp_attachments));
}

TEST_F(LocalBackupEngineTest, StopInTheMiddleEndsTheScan) {
  sample::SampleReport report;
  fs::path folder = Build("b", 15, report);
  BackupReader reader(folders_);
  reader.SetCurrentBackup(InfoOf(folder));
  CLocalBuckupRecovery engine;
  engine.Attach(&reader);
  Recorder recorder;
  recorder.stopAbove = 20;  // inside the photo walk (12 to 34)
  engine.SetProgressCallback(Recorder::Callback, &recorder);
  ASSERT_EQ(engine.Open(u""), kOk);
  FileList roll, stream;
  EXPECT_EQ(engine.ReadPhotos(roll, stream), kStopped);
  EXPECT_EQ(recorder.reports.back(), 21);  // the walk ended at the first answer of 2

  // Through the session: a stop answer ends the scan; later operations are not called.
  BackupReader reader2(folders_);
  ScanSessionSetup setup;
  setup.engines.localBackup = CreateLocalBackupEngine;
  setup.reader = &reader2;
  CScanSession session(std::move(setup), nullptr);
  session.SetSelectedBackup(InfoOf(folder));
  ASSERT_EQ(session.Start(ScanSourceBackup), kOk);
  // Paused, the worker is held at its next report; the stop lands there.
  const bool paused = session.Pause();
  session.Stop();
  session.Wait();
  EXPECT_TRUE(session.IsFinished());
  if (paused) {
    EXPECT_EQ(session.Result(), kStopped);
    EXPECT_EQ(session.StepResult(ScanStep::kWhatsAppAttachments), CScanSession::kNotRun);
  }
}

TEST_F(LocalBackupEngineTest, ManifestChoiceAndDatabaseFallbacks) {
  sample::SampleReport report;
  fs::path folder = Build("b", 15, report);
  const auto& older_calls = FixedFileId(FixedFile::kCallHistoryOlder);
  const auto& current_calls = FixedFileId(FixedFile::kCallHistory);

  // Without the current call store the older one is read from its two-level path.
  fs::remove(sample::HashedPath(folder, current_calls, true));
  sample::CallHistoryData calls;
  calls.calls = {{1, std::string("+15550100001"), sample::kSampleBaseTime, 30, true, false},
                 {2, std::string("+15550100002"), sample::kSampleBaseTime + 60, 0, false, true}};
  ASSERT_EQ(sample::WriteCallHistoryDb(sample::HashedPath(folder, older_calls, true), 15,
                                       sample::CallStore::kCurrent, calls),
            0);
  // A decrypted manifest beside Manifest.db wins: here one that lists a single file.
  fs::copy_file(folder / "Manifest.db", dir_ / "full-manifest.db");

  BackupReader reader(folders_);
  SessionScan scan(reader);
  ASSERT_EQ(scan.Run(InfoOf(folder)), kOk);
  EXPECT_EQ(scan.session->Results().calls.size(), 2u);

  // "Manifest.db-decypted" is preferred over "Manifest.db".
  WriteBytes(folder / "Manifest.db-decypted", ReadBytes(dir_ / "full-manifest.db"));
  {
    BackupReader r2(folders_);
    r2.SetCurrentBackup(InfoOf(folder));
    ASSERT_EQ(r2.Open(u""), kOk);
    EXPECT_EQ(r2.manifest().size(), static_cast<size_t>(report.manifest_entries));
  }
  WriteBytes(folder / "Manifest.db-decypted", "not a database");
  {
    BackupReader r3(folders_);
    r3.SetCurrentBackup(InfoOf(folder));
    EXPECT_NE(r3.Open(u""), kOk);
    EXPECT_TRUE(r3.manifest().empty());
  }
}

TEST_F(LocalBackupEngineTest, NotesFallBackToTheNewerStoreOnlyWhenTheOlderHasNone) {
  // Generation 9 holds both stores with the notes in the older one; 15 only the newer one.
  for (int generation : {9, 15}) {
    SCOPED_TRACE(generation);
    sample::SampleReport report;
    fs::path folder = Build("n" + std::to_string(generation), generation, report);
    BackupReader reader(folders_);
    reader.SetCurrentBackup(InfoOf(folder));
    ASSERT_EQ(reader.Open(u""), kOk);
    NoteList notes;
    EXPECT_EQ(reader.ReadNotes(notes), kOk);
    EXPECT_EQ(notes.size(), static_cast<size_t>(report.notes));
    EXPECT_GT(notes.size(), 0u);
  }
}

TEST_F(LocalBackupEngineTest, OpenWithoutManifestOrEncryptedWithoutDecryptor) {
  fs::create_directories(dir_ / "empty");
  BackupReader reader(folders_);
  reader.SetCurrentBackup(InfoOf(dir_ / "empty"));
  EXPECT_EQ(reader.Open(u""), kInvalidParameter);

  sample::SampleReport report;
  fs::path folder = Build("enc", 15, report);
  BackupInfo info = InfoOf(folder);
  info.isEncrypted = 1;
  reader.SetCurrentBackup(info);
  // The program folder holds no decryptor: it cannot start.
  EXPECT_EQ(reader.Open(u"secret"), kInvalidParameter);
}

// --- File operations ---

struct CopyReport {
  int percent, code;
  std::string path;
};
struct CopyRecorder {
  std::vector<CopyReport> reports;
  int stopAt = -1;  // answer 2 to this report (0-based)
  static int Callback(void* self, int percent, int code, const fs::path& destination) {
    auto* r = static_cast<CopyRecorder*>(self);
    r->reports.push_back({percent, code, destination.string()});
    return static_cast<int>(r->reports.size()) - 1 == r->stopAt ? kStopped : 0;
  }
};

TEST_F(LocalBackupEngineTest, CopyOutCases) {
  const fs::path src = dir_ / "src.bin";
  const fs::path dst = dir_ / "out" / "deeper" / "copy.bin";
  std::string content(150000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  WriteBytes(src, content);

  {  // 64 KiB chunks: 65536, 131072, 150000 bytes -> 43, 87, 100; nothing after the last.
    CopyRecorder rec;
    EXPECT_EQ(CopyFileOut(src, dst, CopyRecorder::Callback, &rec), kOk);
    ASSERT_EQ(rec.reports.size(), 3u);
    EXPECT_EQ(rec.reports[0].percent, 43);
    EXPECT_EQ(rec.reports[1].percent, 87);
    EXPECT_EQ(rec.reports[2].percent, 100);
    for (const auto& r : rec.reports) EXPECT_EQ(r.code, 0);
    EXPECT_EQ(rec.reports[2].path, dst.string());
    EXPECT_EQ(ReadBytes(dst), content);
  }
  {  // An empty source: an empty destination, 0, no report.
    WriteBytes(dir_ / "empty.bin", "");
    WriteBytes(dir_ / "out" / "empty-copy.bin", "old content is replaced");
    CopyRecorder rec;
    EXPECT_EQ(CopyFileOut(dir_ / "empty.bin", dir_ / "out" / "empty-copy.bin",
                          CopyRecorder::Callback, &rec),
              kOk);
    EXPECT_TRUE(rec.reports.empty());
    EXPECT_EQ(fs::file_size(dir_ / "out" / "empty-copy.bin"), 0u);
  }
  {  // A missing source: one report (100, 87), result 87, nothing created.
    CopyRecorder rec;
    EXPECT_EQ(CopyFileOut(dir_ / "missing", dir_ / "out" / "m.bin", CopyRecorder::Callback, &rec),
              kInvalidParameter);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].percent, 100);
    EXPECT_EQ(rec.reports[0].code, kInvalidParameter);
    EXPECT_FALSE(fs::exists(dir_ / "out" / "m.bin"));
  }
  {  // A stop after the first chunk: a final (100, 2) and no truncated copy left behind.
    CopyRecorder rec;
    rec.stopAt = 0;
    const fs::path stopped = dir_ / "out" / "stopped.bin";
    EXPECT_EQ(CopyFileOut(src, stopped, CopyRecorder::Callback, &rec), kStopped);
    ASSERT_EQ(rec.reports.size(), 2u);
    EXPECT_EQ(rec.reports[1].percent, 100);
    EXPECT_EQ(rec.reports[1].code, kStopped);
    EXPECT_FALSE(fs::exists(stopped));
  }
}

TEST_F(LocalBackupEngineTest, PreviewCopyKindsByContent) {
  std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(600, 'p');
  std::string mp4 = std::string("\0\0\0\x18" "ftypisom", 12) + std::string(600, 'v');
  std::string midi = std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk", 18) + std::string(600, 'm');
  struct Case {
    const char* name;  // the name says nothing: the content decides
    std::string bytes;
    const char* copy;
    int result;
  } cases[] = {
      {"attachment.dat", png, "tmp.jpg", kOk},
      {"clip", mp4, "tmp.avi", kOk},
      {"song.txt", midi, "tmp.wav", kOk},
      {"notes.txt", std::string(600, 'x'), "", kInvalidParameter},
      {"missing", "", "", kInvalidParameter},
  };
  BackupReader reader(folders_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path src = dir_ / "preview" / c.name;
    if (std::string(c.name) != "missing") WriteBytes(src, c.bytes);
    fs::path copy;
    Recorder rec;
    EXPECT_EQ(reader.MakePreviewCopy(src, copy, Recorder::Callback, &rec), c.result);
    ASSERT_FALSE(rec.reports.empty());
    EXPECT_EQ(rec.reports.back(), 100);
    if (c.copy[0] != '\0') {
      EXPECT_EQ(copy, *folders_.workFolder / c.copy);
      EXPECT_EQ(ReadBytes(copy), c.bytes);
    } else {
      EXPECT_TRUE(copy.empty());
    }
  }
  // The clean-up of the reader deletes the scratch files.
  reader.CleanUp();
  EXPECT_FALSE(fs::exists(*folders_.workFolder / "tmp.jpg"));
}

TEST_F(LocalBackupEngineTest, CleanUpDeletesOnlyDecryptedFiles) {
  BackupReader reader(folders_);
  WriteBytes(reader.DecryptedFolder() / "3d0d7e5fb2ce288813306e4d4636395e047a3d28", "x");
  fs::create_directories(reader.DecryptedFolder() / "sub");
  WriteBytes(reader.DecryptedFolder() / "sub" / "kept", "y");
  reader.CleanUp();
  EXPECT_FALSE(fs::exists(reader.DecryptedFolder() / "3d0d7e5fb2ce288813306e4d4636395e047a3d28"));
  EXPECT_TRUE(fs::exists(reader.DecryptedFolder() / "sub" / "kept"));
}

TEST(ScratchRootTest, ChoosesTheVolume) {
  const fs::path work = "/home/u/.local/share/TarnwickiOSRecovery";
  const uint64_t gib = uint64_t{1} << 30;
  std::vector<platform::MountedVolume> volumes = {
      {"/", 50 * gib}, {"/data", 200 * gib}, {"/mnt/usb", 200 * gib}, {"/boot", gib}};
  // More than 15 GiB on the application-data volume: the work folder.
  EXPECT_EQ(ScratchRootCandidates(work, 16 * gib, volumes),
            (std::vector<fs::path>{work / "Tarnwick_tmp_backup"}));
  // 10 GiB: the volume with the most free space (the first on a tie), then the others.
  auto candidates = ScratchRootCandidates(work, 10 * gib, volumes);
  ASSERT_EQ(candidates.size(), 5u);
  EXPECT_EQ(candidates[0], fs::path("/data/Tarnwick_tmp_backup"));
  EXPECT_EQ(candidates[1], fs::path("/mnt/usb/Tarnwick_tmp_backup"));
  EXPECT_EQ(candidates.back(), work / "Tarnwick_tmp_backup");
  // Free space that cannot be read counts as too little.
  EXPECT_EQ(ScratchRootCandidates(work, std::nullopt, {})[0], work / "Tarnwick_tmp_backup");
}

}  // namespace
}  // namespace salvora
