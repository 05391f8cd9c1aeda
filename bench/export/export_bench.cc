// export-bench: speed and memory of an export of everything in a backup, against `cp -r` of
// the same media files and a plain loop that writes as many bytes of text, in the same run.
//
//   export-bench [--keep] [--per-category] [--work DIR] BACKUP_FOLDER
//
// For the builder's large preset (50,000 photo files, 200,000 messages, 5,000 contacts,
// 20,000 calls, 2,000 notes, 200,000 WhatsApp messages):
//   make-sample-backup --preset large OUT && export-bench OUT
//
// Steps: scan the backup with the scan session and the local-backup engine; read every media
// file once, so that no step pays for a cold cache; `cp -r` a folder of hard links to the
// media files; export everything (all entries selected) with the recover job; write the
// export's number of text bytes in as many files with a plain write loop. Prints the times,
// the two ratios against their goals (media copies within 1.2x of cp, the whole export within
// 1.5x of cp plus the loop) and the process's peak resident memory (goal: under 1 GB).
// --per-category then exports each category alone and prints its time.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "backup/backup_reader.h"
#include "backup/local_buckup_recovery.h"
#include "core/app_services.h"
#include "core/statistics_obj.h"
#include "export/recover_job.h"
#include "media/file_classifier.h"
#include "scan/scan_session.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// User and system CPU seconds of the process so far.
std::pair<double, double> CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return {u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6,
          u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6};
}

long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Forwards every operation to the scan's engine and adds up the time spent in CopyOut, which
// is the media part of an export.
class TimedEngine : public salvora::IPhoneRecoveryParse {
 public:
  explicit TimedEngine(salvora::IPhoneRecoveryParse& inner) : inner_(inner) {}
  int Attach(salvora::BackupReader* r) override { return inner_.Attach(r); }
  int SetProgressCallback(salvora::ProgressCallback c, void* u) override {
    return inner_.SetProgressCallback(c, u);
  }
  bool IsLocalBackup(int u) override { return inner_.IsLocalBackup(u); }
  int Open(const std::u16string& p) override { return inner_.Open(p); }
  int ReadMessages(salvora::MessageMap& m) override { return inner_.ReadMessages(m); }
  int ReadMessageAttachments(salvora::FileList& l) override {
    return inner_.ReadMessageAttachments(l);
  }
  int ReadContacts(salvora::ContactList& l) override { return inner_.ReadContacts(l); }
  int ReadNotes(salvora::NoteList& l) override { return inner_.ReadNotes(l); }
  int ReadCallHistory(salvora::CallList& l) override { return inner_.ReadCallHistory(l); }
  int ReadPhotos(salvora::FileList& a, salvora::FileList& b) override {
    return inner_.ReadPhotos(a, b);
  }
  int ReadWhatsAppAttachments(salvora::FileList& l) override {
    return inner_.ReadWhatsAppAttachments(l);
  }
  int ReadAppFiles(salvora::AppFileList& l) override { return inner_.ReadAppFiles(l); }
  int ReadWhatsApp(salvora::ChatMap& m) override { return inner_.ReadWhatsApp(m); }
  int MakePreviewCopy(const fs::path& s, fs::path& c, salvora::ProgressCallback cb,
                      void* u) override {
    return inner_.MakePreviewCopy(s, c, cb, u);
  }
  int CopyOut(const fs::path& s, const fs::path& d, salvora::CopyProgressCallback cb,
              void* u) override {
    auto start = Clock::now();
    int rc = inner_.CopyOut(s, d, cb, u);
    copy_seconds += Seconds(start);
    ++copies;
    std::error_code ec;
    copied_bytes += fs::file_size(d, ec);
    return rc;
  }
  int CopyMessageDatabase(const fs::path& d) override { return inner_.CopyMessageDatabase(d); }
  int CopyAddressBookDatabase(const fs::path& d) override {
    return inner_.CopyAddressBookDatabase(d);
  }
  int WriteWhatsAppChat(int32_t id, const fs::path& d, salvora::CopyProgressCallback cb,
                        void* u) override {
    return inner_.WriteWhatsAppChat(id, d, cb, u);
  }

  double copy_seconds = 0;
  long copies = 0;
  uintmax_t copied_bytes = 0;

 private:
  salvora::IPhoneRecoveryParse& inner_;
};

std::vector<fs::path> MediaSources(const salvora::ScanResults& r) {
  std::vector<fs::path> files;
  for (const salvora::FileList* list :
       {&r.cameraRoll, &r.photoStream, &r.messageAttachments, &r.whatsAppAttachments}) {
    for (const salvora::FileRecord& f : *list) files.push_back(f.path);
  }
  for (const salvora::AppFileMap* map : {&r.appPhotos, &r.appVideos}) {
    for (const auto& [app, list] : *map) {
      for (const salvora::AppFileRecord& f : list) files.push_back(f.path);
    }
  }
  return files;
}

uintmax_t ReadAll(const std::vector<fs::path>& files) {
  std::vector<char> buf(1 << 20);
  uintmax_t total = 0;
  for (const fs::path& p : files) {
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ssize_t n;
    while ((n = ::read(fd, buf.data(), buf.size())) > 0) total += static_cast<uintmax_t>(n);
    ::close(fd);
  }
  return total;
}

// Writes `bytes` of text into `files` files (the first ones one byte longer to reach the
// sum), 256 KiB per write call.
void PlainTextLoop(const fs::path& folder, long files, uintmax_t bytes) {
  fs::create_directories(folder);
  std::string block(256 * 1024, 'x');
  if (files <= 0) files = 1;
  const uintmax_t each = bytes / static_cast<uintmax_t>(files);
  uintmax_t extra = bytes % static_cast<uintmax_t>(files);
  for (long i = 0; i < files; ++i) {
    fs::path file = folder / (std::to_string(i) + ".txt");
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) continue;
    uintmax_t left = each + (extra > 0 ? 1 : 0);
    if (extra > 0) --extra;
    while (left > 0) {
      size_t n = static_cast<size_t>(std::min<uintmax_t>(left, block.size()));
      if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) break;
      left -= n;
    }
    ::close(fd);
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: export-bench [--keep] [--per-category] [--work DIR] BACKUP_FOLDER\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  bool keep = false;
  bool per_category = false;
  fs::path work;
  fs::path backup;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--keep") {
      keep = true;
    } else if (a == "--per-category") {
      per_category = true;
    } else if (a == "--work" && i + 1 < argc) {
      work = argv[++i];
    } else if (!a.empty() && a[0] != '-' && backup.empty()) {
      backup = a;
    } else {
      return Usage();
    }
  }
  if (backup.empty()) return Usage();
  if (work.empty())
    work = fs::temp_directory_path() / ("export-bench-" + std::to_string(::getpid()));
  std::error_code ec;
  fs::remove_all(work, ec);
  fs::create_directories(work);
  // Whatever way the benchmark ends, its folder goes unless --keep asks otherwise.
  struct Cleanup {
    const fs::path& folder;
    const bool& keep;
    ~Cleanup() {
      std::error_code e;
      if (!keep) fs::remove_all(folder, e);
    }
  } cleanup{work, keep};

  // Scan.
  // The reader's work and scratch folders stay inside the benchmark's own folder.
  salvora::BackupReaderFolders folders;
  folders.backupRoot = backup.parent_path();
  folders.workFolder = work / "reader-work";
  folders.scratchRoot = work / "reader-scratch";
  salvora::BackupReader reader(folders);
  salvora::BackupInfo info;
  if (reader.ReadFolder(backup, info) != 0) {
    std::fprintf(stderr, "export-bench: %s holds no readable Info.plist\n", backup.c_str());
    return 1;
  }
  salvora::ScanSessionSetup setup;
  setup.engines.localBackup = [] { return salvora::CreateLocalBackupEngine(); };
  setup.reader = &reader;
  setup.splitAppFiles = salvora::SplitAppFiles;
  salvora::CScanSession session(setup, nullptr);
  session.SetSelectedBackup(info);
  auto scan_start = Clock::now();
  if (session.Start(salvora::ScanSourceBackup) != 0) {
    std::fprintf(stderr, "export-bench: the scan did not start\n");
    return 1;
  }
  session.Wait();
  const double scan_s = Seconds(scan_start);
  if (session.Result() != 0) {
    std::fprintf(stderr, "export-bench: the scan ended with %d\n", session.Result());
    return 1;
  }
  const salvora::ScanResults& results = session.Results();
  const std::vector<fs::path> media = MediaSources(results);
  const long rss_after_scan = PeakResidentKiB();

  // Warm the cache, then cp -r of hard links to the same files.
  const uintmax_t media_bytes = ReadAll(media);
  const fs::path links = work / "media-links";
  fs::create_directories(links);
  long linked = 0;
  for (const fs::path& p : media) {
    fs::path link = links / (std::to_string(linked) + "-" + p.filename().string());
    fs::create_hard_link(p, link, ec);
    if (ec) fs::copy_file(p, link, ec);  // another file system: a plain copy stands in
    ++linked;
  }
  auto cp_start = Clock::now();
  std::string command = "cp -r '" + links.string() + "' '" + (work / "cp").string() + "'";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "export-bench: cp failed\n");
    return 1;
  }
  const double cp_s = Seconds(cp_start);

  // The export.
  TimedEngine engine(*session.Engine());
  const salvora::CStatisticsObj* stats =
      session.WithStatistics([](const salvora::CStatisticsObj& s) { return &s; });
  salvora::RecoverSource source{stats, &engine, &results.messages, &results.whatsApp,
                                info.displayName};
  const fs::path out = work / "export";
  salvora::RecoverJob job(out, source, nullptr);
  // Benchmarks live in bin/bench/, the templates in bin/template/.
  fs::path app_dir = salvora::GetAppDir();
  if (!fs::exists(app_dir / "template")) app_dir = app_dir.parent_path().parent_path();
  if (int rc = job.LoadTemplates(app_dir); rc != 0) {
    std::fprintf(stderr, "export-bench: template %s: %d\n", job.failed_template().c_str(), rc);
    return 1;
  }
  auto export_start = Clock::now();
  job.Run();
  const double export_s = Seconds(export_start);
  const salvora::RecoverCounts counts = job.Counts();

  // Text bytes the export wrote beside the copies, then the plain loop.
  uintmax_t all_bytes = 0;
  long all_files = 0;
  for (const auto& e : fs::recursive_directory_iterator(out)) {
    if (e.is_regular_file()) {
      all_bytes += e.file_size();
      ++all_files;
    }
  }
  const uintmax_t text_bytes = all_bytes - engine.copied_bytes;
  const long text_files = all_files - engine.copies;
  auto loop_start = Clock::now();
  PlainTextLoop(work / "loop", text_files, text_bytes);
  const double loop_s = Seconds(loop_start);
  const long peak = PeakResidentKiB();

  // Optional: one export per category, to see where the time goes.
  struct Part {
    salvora::CategoryId category;
    double seconds, user, system;
  };
  std::vector<Part> breakdown;
  if (per_category) {
    for (salvora::CategoryId only : salvora::kAllCategories) {
      session.WithStatistics([&](salvora::CStatisticsObj& s) {
        for (salvora::CategoryId c : salvora::kAllCategories) {
          salvora::StatKey key = s.ContainerKey(c);
          if (key != salvora::kNoStatKey) s.SetSelected(key, c == only);
        }
        return 0;
      });
      TimedEngine one_engine(*session.Engine());
      salvora::RecoverSource one_source = source;
      one_source.engine = &one_engine;
      salvora::RecoverJob one(work / ("only-" + std::string(salvora::CategoryName(only))),
                              one_source, nullptr);
      if (one.LoadTemplates(app_dir) != 0) break;
      auto one_start = Clock::now();
      auto [user0, system0] = CpuSeconds();
      one.Run();
      auto [user1, system1] = CpuSeconds();
      breakdown.push_back({only, Seconds(one_start), user1 - user0, system1 - system0});
    }
  }

  std::printf("backup            %s\n", backup.c_str());
  std::printf("scan              %.2f s (peak resident %.0f MB after it)\n", scan_s,
              rss_after_scan / 1024.0);
  std::printf("items             %d done, %d failed, %d total\n", counts.done, counts.failed,
              counts.total);
  std::printf("media             %ld files, %.1f MB read once to warm the cache (%.1f MB)\n",
              static_cast<long>(media.size()), media_bytes / 1048576.0,
              engine.copied_bytes / 1048576.0);
  std::printf("cp -r             %.2f s\n", cp_s);
  std::printf("export copies     %.2f s   ratio %.2f (goal <= 1.20)\n", engine.copy_seconds,
              cp_s > 0 ? engine.copy_seconds / cp_s : 0.0);
  std::printf("text written      %ld files, %.1f MB\n", text_files, text_bytes / 1048576.0);
  std::printf("plain text loop   %.2f s\n", loop_s);
  std::printf("whole export      %.2f s   ratio %.2f to cp + loop (goal <= 1.50)\n", export_s,
              (cp_s + loop_s) > 0 ? export_s / (cp_s + loop_s) : 0.0);
  std::printf("peak resident     %.0f MB (goal < 1024)\n", peak / 1024.0);
  for (const Part& part : breakdown) {
    std::printf("  only %-20s %.2f s (cpu %.2f s user, %.2f s system)\n",
                std::string(salvora::CategoryName(part.category)).c_str(), part.seconds, part.user,
                part.system);
  }

  return 0;
}
