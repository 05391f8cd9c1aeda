// scan-bench: a full scan of a backup folder through the local-backup engine, with the wall
// time, CPU time and peak memory of every operation, beside the raw limits of the same work
// measured in the same run:
//   - files: one open, one read of 512 bytes, one fstat and one close of every file that the
//     photo, attachment and app walks look at (a plain C loop);
//   - databases: a plain sqlite3_exec pass over each query the extractors run, copying only
//     the column texts (the manifest query, messages, the address book once per reader,
//     calls, notes, the four WhatsApp queries).
//
//   scan-bench BACKUP_FOLDER        (for example the builder's large preset:
//                                    make-sample-backup --preset large OUT)
//
// The raw passes run before and after the scan and the faster of the two is taken, so the
// page cache treats both sides alike. Peak memory per operation is the process's resident
// high-water mark, reset before each operation (Linux /proc/self/clear_refs).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "backup/backup_reader.h"
#include "backup/fixed_file_ids.h"
#include "backup/local_buckup_recovery.h"
#include "backup/manifest_reader.h"
#include "media/file_classifier.h"
#include "records/call_history_extractor.h"
#include "records/contact_extractor.h"
#include "records/message_extractor.h"
#include "records/note_extractor.h"
#include "records/whatsapp_extractor.h"
#include "scan/scan_session.h"

namespace {

using namespace salvora;

double Wall() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
double Cpu() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return 0;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Figures {
  double wall = 0, cpu = 0;
  long peak_kb = 0;
};

Figures Measure(const std::function<void()>& fn) {
  ResetPeak();
  double w = Wall(), c = Cpu();
  fn();
  return {Wall() - w, Cpu() - c, StatusKb("VmHWM:")};
}

// The plain loop over the files of the three walks.
void ProbeLoop(const std::vector<std::string>& paths) {
  char buf[512];
  for (const std::string& p : paths) {
    int fd = ::open(p.c_str(), O_RDONLY);
    if (fd < 0) continue;
    struct stat st {};
    ::fstat(fd, &st);
    ssize_t n = ::read(fd, buf, sizeof buf);
    (void)n;
    ::close(fd);
  }
}

int CopyTexts(void* sink, int argc, char** argv, char**) {
  auto* out = static_cast<std::vector<std::string>*>(sink);
  for (int i = 0; i < argc; ++i) out->emplace_back(argv[i] != nullptr ? argv[i] : "");
  return 0;
}

void PlainQuery(const std::string& db, const char* sql) {
  sqlite3* h = nullptr;
  std::string uri = "file:" + db + "?mode=ro&immutable=1";
  if (sqlite3_open_v2(uri.c_str(), &h, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) ==
      SQLITE_OK) {
    std::vector<std::string> texts;
    sqlite3_exec(h, sql, CopyTexts, &texts, nullptr);
  }
  sqlite3_close(h);
}

double Best(const std::function<void()>& fn) {
  double a = Measure(fn).wall;
  double b = Measure(fn).wall;
  return a < b ? a : b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: scan-bench BACKUP_FOLDER\n");
    return 64;
  }
  const std::filesystem::path folder = argv[1];
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("scan-bench-" + std::to_string(::getpid()));
  BackupReaderFolders folders;
  folders.workFolder = scratch / "work";
  folders.scratchRoot = scratch / "scratch";
  folders.backupRoot = scratch / "root";

  // What the raw passes work on.
  ManifestChoice choice;
  ManifestIndex index;
  if (ChooseManifest(folder, choice) != 0 || ReadManifest(choice, index) != 0) {
    std::fprintf(stderr, "%s holds no readable manifest\n", folder.c_str());
    return 1;
  }
  BackupLayout layout{folder, false, choice.twoLevel};
  std::vector<std::string> photo_files, attachment_files, app_files;
  std::string chat_db;
  for (const ManifestEntry& e : index) {
    std::string p = FilePathOfId(layout, e.fileId).string();
    if (e.key.find("CameraRollDomain-Media/DCIM/") != std::string::npos ||
        e.key.find("MediaDomain-Media/PhotoStreamsData/") != std::string::npos) {
      photo_files.push_back(p);
    }
    if (e.key.find("/Attachments/") != std::string::npos) attachment_files.push_back(p);
    if (e.key.find("AppDomain-") != std::string::npos) app_files.push_back(p);
    if (chat_db.empty() && e.key.find("ChatStorage.sqlite") != std::string::npos) chat_db = p;
  }
  auto db = [&](FixedFile f) { return FilePathOfId(layout, FixedFileId(f)).string(); };
  const std::string sms = db(FixedFile::kMessages), ab = db(FixedFile::kAddressBook);
  std::string calls = db(FixedFile::kCallHistory);
  if (!std::filesystem::exists(calls)) calls = db(FixedFile::kCallHistoryOlder);
  const std::string notes_older = db(FixedFile::kNotesOlder), notes_newer = db(FixedFile::kNotesNewer);

  struct Raw {
    const char* name;
    std::function<void()> fn;
    double best = 1e30;
  };
  std::vector<Raw> raw = {
      {"Open", [&] { PlainQuery(choice.file.string(), "select fileID,domain, relativePath from Files;"); }},
      {"ReadPhotos", [&] { ProbeLoop(photo_files); }},
      {"ReadMessages", [&] {
         PlainQuery(sms, MessageExtractor::kMessagesSql);
         PlainQuery(ab, ContactExtractor::kFirstLayoutSql);
       }},
      {"ReadMessageAttachments", [&] { ProbeLoop(attachment_files); }},
      {"ReadContacts", [&] { PlainQuery(ab, ContactExtractor::kFirstLayoutSql); }},
      {"ReadCallHistory", [&] {
         PlainQuery(calls, CallHistoryExtractor::kCallsSql);
         PlainQuery(ab, ContactExtractor::kFirstLayoutSql);
       }},
      {"ReadNotes", [&] {
         PlainQuery(notes_older, NoteExtractor::kOlderStoreSql);
         PlainQuery(notes_newer,
                    "SELECT ZTITLE1, ZSNIPPET, ZCREATIONDATE3 FROM ZICCLOUDSYNCINGOBJECT;");
       }},
      {"ReadAppFiles", [&] { ProbeLoop(app_files); }},
      {"ReadWhatsApp", [&] {
         PlainQuery(chat_db, WhatsAppExtractor::kChatsSql);
         PlainQuery(chat_db, WhatsAppExtractor::kMembersSql);
         PlainQuery(chat_db, WhatsAppExtractor::kMessagesSql);
         PlainQuery(chat_db, WhatsAppExtractor::kMediaSql);
       }},
      {"ReadWhatsAppAttachments", [] {}},
  };
  for (Raw& r : raw) r.best = Best(r.fn);

  // The scan, operation by operation, through the engine as the scan session calls it.
  BackupReader reader(folders);
  BackupInfo info;
  info.folderPath = folder;
  reader.SetCurrentBackup(info);
  CLocalBuckupRecovery engine;
  engine.Attach(&reader);
  ScanResults r;
  std::vector<std::pair<const char*, std::function<int()>>> ops = {
      {"Open", [&] { return engine.Open(u""); }},
      {"ReadPhotos", [&] { return engine.ReadPhotos(r.cameraRoll, r.photoStream); }},
      {"ReadMessages", [&] { return engine.ReadMessages(r.messages); }},
      {"ReadMessageAttachments", [&] { return engine.ReadMessageAttachments(r.messageAttachments); }},
      {"ReadContacts", [&] { return engine.ReadContacts(r.contacts); }},
      {"ReadCallHistory", [&] { return engine.ReadCallHistory(r.calls); }},
      {"ReadNotes", [&] { return engine.ReadNotes(r.notes); }},
      {"ReadAppFiles", [&] { return engine.ReadAppFiles(r.appFiles); }},
      {"ReadWhatsApp", [&] { return engine.ReadWhatsApp(r.whatsApp); }},
      {"ReadWhatsAppAttachments", [&] { return engine.ReadWhatsAppAttachments(r.whatsAppAttachments); }},
  };
  std::printf("%-24s %9s %9s %9s %9s %7s %7s\n", "operation", "wall s", "cpu s", "raw s",
              "ratio", "peak MB", "result");
  double scan_wall = 0, raw_sum = 0;
  long scan_peak = 0;
  for (size_t i = 0; i < ops.size(); ++i) {
    int rc = 0;
    Figures f = Measure([&] { rc = ops[i].second(); });
    raw[i].best = std::min(raw[i].best, Best(raw[i].fn));
    scan_wall += f.wall;
    raw_sum += raw[i].best;
    scan_peak = std::max(scan_peak, f.peak_kb);
    std::printf("%-24s %9.3f %9.3f %9.3f %9.2f %7.1f %7d\n", ops[i].first, f.wall, f.cpu,
                raw[i].best, raw[i].best > 0 ? f.wall / raw[i].best : 0.0, f.peak_kb / 1024.0, rc);
  }
  std::printf("%-24s %9.3f %9s %9.3f %9.2f %7.1f\n", "engine total", scan_wall, "", raw_sum,
              scan_wall / raw_sum, scan_peak / 1024.0);
  std::printf("found: %zu camera roll, %zu photo stream, %zu conversations, %zu attachments, "
              "%zu contacts, %zu calls, %zu notes, %zu app files, %zu chats, %zu WhatsApp files\n",
              r.cameraRoll.size(), r.photoStream.size(), r.messages.size(),
              r.messageAttachments.size(), r.contacts.size(), r.calls.size(), r.notes.size(),
              r.appFiles.size(), r.whatsApp.size(), r.whatsAppAttachments.size());
  r.Clear();

  // The whole scan as the command line runs it: engine, rows, sorts, split and statistics.
  ScanSessionSetup setup;
  setup.engines.localBackup = CreateLocalBackupEngine;
  setup.reader = &reader;
  setup.splitAppFiles = SplitAppFiles;
  // Times each step of the session from the tree updates it sends after Open and after every
  // category (the step includes the category's rows, sorts and statistics).
  struct StepClock : IScanObserver {
    std::vector<double> at;
    void OnScanMessage(ScanMessage message, int32_t) override {
      if (message == ScanMessage::kTreeUpdate || message == ScanMessage::kDone) at.push_back(Wall());
    }
  } clock;
  CScanSession session(std::move(setup), &clock);
  session.SetSelectedBackup(info);
  double started = 0;
  Figures whole = Measure([&] {
    started = Wall();
    if (session.Start(ScanSourceBackup) == 0) session.Wait();
  });
  // One update after Open and one per category; the photo and app-file operations each send
  // two, the second at once. Open includes the 100 ms the page waits after the first step.
  const char* kSessionSteps[] = {"Open",        "CameraRoll",  "PhotoStream", "Messages",
                                 "Attachments", "Contacts",    "Calls",       "Notes",
                                 "AppPhotos",   "AppVideos",   "WhatsApp",    "WhatsAppFiles",
                                 "done"};
  double last = started;
  std::printf("session steps:");
  for (size_t i = 0; i < clock.at.size(); ++i) {
    std::printf(" %s %.3f", i < std::size(kSessionSteps) ? kSessionSteps[i] : "?",
                clock.at[i] - last);
    last = clock.at[i];
  }
  std::printf("\n");
  std::printf("%-24s %9.3f %9.3f %9.3f %9.2f %7.1f %7d\n", "session (whole scan)", whole.wall,
              whole.cpu, raw_sum, whole.wall / raw_sum, whole.peak_kb / 1024.0, session.Result());
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
  return 0;
}
