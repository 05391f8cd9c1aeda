#include "cli/scan_runner.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include <unistd.h>

#include "backup/local_buckup_recovery.h"
#include "cli/commands.h"
#include "cli/device_scan.h"
#include "core/app_services.h"
#include "core/category_id.h"
#include "core/result_codes.h"
#include "core/statistics_obj.h"
#include "core/text.h"
#include "device/device_recovery.h"
#include "media/file_classifier.h"

namespace salvora::cli {
namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted.store(true); }

// Draws a bar on standard error when it is a terminal; otherwise stays silent.
class ProgressBar : public IScanObserver {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled) {}
  ~ProgressBar() override { Finish(); }

  void OnScanMessage(ScanMessage, int32_t) override {}
  void OnProgress(int32_t percent, const CapturedCounts&) override {
    if (!enabled_) return;
    constexpr int kWidth = 40;
    int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\rScanning [%.*s%*s] %3d%%", filled,
                 "########################################", kWidth - filled, "", percent);
    std::fflush(stderr);
    drawn_ = true;
  }
  void Finish() {
    if (drawn_) std::fputs("\n", stderr);
    drawn_ = false;
  }

 private:
  bool enabled_;
  bool drawn_ = false;
};

std::string FolderText(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

// Starts the session's scan of `source` and runs it to its end; Ctrl-C stops it through the
// stop protocol. False (with the exit status and message set) when it cannot start.
bool StartAndDrive(ScanRun& run, int source, ProgressBar* bar) {
  ReportFirstRun();
  g_interrupted.store(false);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  ::sigaction(SIGINT, &action, &previous);

  if (run.session->Start(source) != kOk) {
    ::sigaction(SIGINT, &previous, nullptr);
    run.exitStatus = kExitSourceUnopenable;
    run.message = "The scan could not be started.";
    return false;
  }
  bool stopping = false;
  while (run.session->IsRunning()) {
    if (g_interrupted.load() && !stopping) {
      stopping = true;
      if (bar != nullptr) bar->Finish();
      std::fputs("Stopping the scan...\n", stderr);
      run.session->Stop();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  run.session->Wait();
  ::sigaction(SIGINT, &previous, nullptr);
  if (bar != nullptr) bar->Finish();
  return true;
}

}  // namespace

bool ParsePasswordOption(const std::vector<std::string>& args, size_t& i,
                         std::optional<std::string>& password, std::string& error) {
  if (args[i] == "--password") {
    if (i + 1 >= args.size()) {
      error = "--password needs the password after it.";
      return true;
    }
    password = args[++i];
    return true;
  }
  if (args[i] == "--password-file") {
    if (i + 1 >= args.size()) {
      error = "--password-file needs the name of a file after it.";
      return true;
    }
    std::ifstream in(args[++i], std::ios::binary);
    if (!in) {
      error = "The password file \"" + args[i] + "\" cannot be read.";
      return true;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    password = text;
    return true;
  }
  return false;
}

void RunScan(const ScanRequest& request, ScanRun& run) {
  if (request.device) {
    RunDeviceScan(request, run);
    return;
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(request.source, ec)) {
    run.exitStatus = kExitSourceUnopenable;
    run.message = "The folder " + FolderText(request.source) + " does not exist or is not a folder.";
    return;
  }
  run.reader = std::make_unique<BackupReader>();
  BackupInfo info;
  if (run.reader->ReadFolder(request.source, info) != kOk) {
    // A partial copy of a backup may lack its Info.plist; the manifest decides whether it
    // can be scanned.
    info = BackupInfo{};
    info.folderPath = request.source;
    info.isEncrypted = static_cast<uint8_t>(BackupReader::ProbeEncryption(request.source));
  }
  if (info.isEncrypted != 0 && !request.password) {
    run.exitStatus = kExitUsage;
    run.message = "The backup in " + FolderText(request.source) +
                  " is encrypted. Give its password with --password or --password-file.";
    return;
  }

  auto bar = std::make_unique<ProgressBar>(!request.quiet && ::isatty(STDERR_FILENO) == 1);
  ProgressBar* bar_ptr = bar.get();
  run.observer = std::move(bar);
  ScanSessionSetup setup;
  setup.engines.localBackup = CreateLocalBackupEngine;
  setup.reader = run.reader.get();
  setup.splitAppFiles = SplitAppFiles;
  run.session = std::make_unique<CScanSession>(std::move(setup), run.observer.get());
  run.session->SetSelectedBackup(info);
  run.session->SetPassword(request.password ? Utf8ToUtf16(*request.password) : u"");

  if (!StartAndDrive(run, ScanSourceBackup, bar_ptr)) return;

  run.result = run.session->Result();
  const int open = run.session->StepResult(ScanStep::kOpen);
  const std::string folder = FolderText(request.source);
  if (run.result == kStopped || open == kStoppedSilently) {
    run.exitStatus = kExitStopped;
    run.message = "The scan was stopped before it finished; the categories read so far are listed.";
  } else if (open == kWrongPassword) {
    run.exitStatus = kExitWrongPassword;
    run.message = "The password does not open the encrypted backup in " + folder + ".";
  } else if (open == kInvalidParameter) {
    run.exitStatus = kExitSourceUnopenable;
    std::error_code e;
    bool has_manifest = std::filesystem::exists(request.source / "Manifest.db", e) ||
                        std::filesystem::exists(request.source / "Manifest.mbdb", e);
    run.message = has_manifest
                      ? "The backup in " + folder +
                            " could not be opened: its decryptor could not be started or a "
                            "required file is missing."
                      : "The folder " + folder +
                            " holds neither Manifest.db nor Manifest.mbdb, so it is not a "
                            "complete backup folder.";
  } else if (open != kOk && open != CScanSession::kNotRun) {
    run.exitStatus = kExitSourceUnopenable;
    run.message = "The manifest of the backup in " + folder +
                  " could not be read (it is damaged or not a manifest; error " +
                  std::to_string(open) + ").";
  } else {
    run.exitStatus = kExitDone;
  }
}

void RunDeviceScan(const ScanRequest& request, ScanRun& run) {
  run.exitStatus = PrepareDeviceScan(request.password, run.message);
  if (run.exitStatus != kExitDone) return;

  auto bar = std::make_unique<ProgressBar>(!request.quiet && ::isatty(STDERR_FILENO) == 1);
  ProgressBar* bar_ptr = bar.get();
  run.observer = std::move(bar);
  ScanSessionSetup setup;
  setup.engines.device = CreateDeviceEngine;
  setup.splitAppFiles = SplitAppFiles;
  run.session = std::make_unique<CScanSession>(std::move(setup), run.observer.get());
  run.session->SetPassword(request.password ? Utf8ToUtf16(*request.password) : u"");

  if (!StartAndDrive(run, ScanSourceDevice, bar_ptr)) {
    std::string warning = FinishDeviceScan();
    if (!warning.empty()) run.message += "\n" + warning;
    return;
  }

  run.result = run.session->Result();
  const int open = run.session->StepResult(ScanStep::kOpen);
  if (run.result == kStopped && open == kOk) {
    run.exitStatus = kExitStopped;
    run.message = "The scan was stopped before it finished; the categories read so far are listed.";
  } else {
    run.exitStatus = DeviceOpenOutcome(open == CScanSession::kNotRun ? kOk : open, run.message);
  }
  std::string warning = FinishDeviceScan();
  if (!warning.empty()) run.message += (run.message.empty() ? "" : "\n") + warning;
}

std::vector<CategoryFigures> CategoryTotals(CScanSession& session) {
  std::vector<CategoryFigures> totals(kAllCategories.size());
  for (size_t i = 0; i < kAllCategories.size(); ++i) {
    totals[i].count = session.Results().Count(kAllCategories[i]);
  }
  session.WithStatistics([&](const CStatisticsObj& statistics) {
    for (StatKey key = 0; key < statistics.EntryCount(); ++key) {
      StatEntry entry = statistics.Entry(key);
      int value = static_cast<int>(entry.category);
      if (entry.group || value < 1 || value > static_cast<int>(totals.size())) continue;
      totals[static_cast<size_t>(value - 1)].bytes += entry.size;
    }
    return 0;
  });
  return totals;
}

}  // namespace salvora::cli
