// salvora-cli export SOURCE OUTDIR [--password PW | --password-file FILE]
//                    [--only CATEGORY,...] [--deleted-only] [--json]
//
// Scans SOURCE, selects every item (or those of the named categories; with --deleted-only
// only records with the deleted mark, as the scan page's filter shows them), and writes them
// into OUTDIR with the recover job. Ctrl-C cancels the export; what is finished stays.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/scan_runner.h"
#include "core/app_services.h"
#include "core/category_id.h"
#include "core/language_settings.h"
#include "core/result_codes.h"
#include "core/statistics_obj.h"
#include "core/text.h"
#include "export/recover_job.h"

namespace salvora::cli {
namespace {

constexpr const char* kUsage =
    "Usage: salvora-cli export SOURCE OUTDIR [--password PW | --password-file FILE]\n"
    "                          [--only CATEGORY,...] [--deleted-only] [--json]\n"
    "SOURCE is a backup folder, or \"device\" for the connected device. CATEGORY is one of\n"
    "CameraRoll, PhotoStream, AppPhotos, AppVideos, Messages, MessageAttachments, Contacts,\n"
    "CallHistory, Notes, WhatsApp, WhatsAppAttachments.\n";

std::atomic<bool> g_cancel{false};
extern "C" void OnExportInterrupt(int) { g_cancel.store(true); }

// Parses "Messages,Contacts" (letter case ignored). False with `bad` set for an unknown name.
bool ParseCategories(const std::string& list, std::set<CategoryId>& out, std::string& bad) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string name = list.substr(start, end - start);
    bool found = false;
    for (CategoryId id : kAllCategories) {
      if (CompareNoCase(name, CategoryName(id)) == 0) {
        out.insert(id);
        found = true;
      }
    }
    if (!found) {
      bad = name;
      return false;
    }
    start = end + 1;
  }
  return true;
}

// The progress line on a terminal: the items done, the failures and the file being written.
class ProgressLine : public IRecoverObserver {
 public:
  explicit ProgressLine(bool enabled) : enabled_(enabled) {}
  void OnRecoverProgress(int percent, const std::filesystem::path& current,
                         const RecoverCounts& counts) override {
    if (!enabled_) return;
    auto now = std::chrono::steady_clock::now();
    if (counts.done == last_done_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
    last_done_ = counts.done;
    last_draw_ = now;
    std::string name = current.filename().string();
    if (name.size() > 40) name = name.substr(0, 37) + "...";
    std::fprintf(stderr, "\rExporting %d/%d item(s), %d failed, %3d%% %-40s", counts.done,
                 counts.total, counts.failed, percent, name.c_str());
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
  int last_done_ = -1;
  std::chrono::steady_clock::time_point last_draw_{};
};

// Leaves selected only what the options ask for.
void Select(CStatisticsObj& statistics, const std::set<CategoryId>& only, bool deleted_only) {
  if (!only.empty()) {
    for (CategoryId id : kAllCategories) {
      StatKey key = statistics.ContainerKey(id);
      if (key != kNoStatKey && only.count(id) == 0) statistics.Deselect(key);
    }
  }
  if (deleted_only) {
    // The filter of the scan page: rows without the deleted mark are hidden, and hidden rows
    // are not exported (files carry no mark, so they are all hidden).
    for (StatKey key = 0; key < statistics.EntryCount(); ++key) {
      StatEntry entry = statistics.Entry(key);
      if (!entry.group && !entry.deleted) statistics.Hide(key);
    }
  }
}

}  // namespace

int RunExportCommand(const std::vector<std::string>& args) {
  ScanRequest request;
  std::filesystem::path out_dir;
  std::set<CategoryId> only;
  bool deleted_only = false;
  bool json = false;
  int positional = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string error;
    if (ParsePasswordOption(args, i, request.password, error)) {
      if (!error.empty()) {
        std::fprintf(stderr, "%s\n%s", error.c_str(), kUsage);
        return kExitUsage;
      }
    } else if (args[i] == "--only") {
      std::string bad;
      if (i + 1 >= args.size() || !ParseCategories(args[++i], only, bad)) {
        std::fprintf(stderr, "--only needs category names; \"%s\" is none.\n%s", bad.c_str(),
                     kUsage);
        return kExitUsage;
      }
    } else if (args[i] == "--deleted-only") {
      deleted_only = true;
    } else if (args[i] == "--json") {
      json = true;
    } else if (!args[i].empty() && args[i][0] == '-') {
      std::fprintf(stderr, "Unknown option \"%s\".\n%s", args[i].c_str(), kUsage);
      return kExitUsage;
    } else if (positional == 0) {
      request.source = args[i];
      ++positional;
    } else if (positional == 1) {
      out_dir = args[i];
      ++positional;
    } else {
      std::fprintf(stderr, "Too many arguments.\n%s", kUsage);
      return kExitUsage;
    }
  }
  if (positional != 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  request.device = request.source == "device";
  request.quiet = json;

  std::error_code ec;
  std::filesystem::path root = std::filesystem::absolute(out_dir, ec).lexically_normal();
  if (ec || (std::filesystem::create_directories(root, ec), ec) ||
      !std::filesystem::is_directory(root, ec)) {
    std::fprintf(stderr, "The output folder \"%s\" cannot be created.\n", out_dir.c_str());
    return kExitSourceUnopenable;
  }

  ScanRun run;
  RunScan(request, run);
  if (!run.session || run.exitStatus != kExitDone) {
    if (!run.message.empty()) std::fprintf(stderr, "%s\n", run.message.c_str());
    if (json) {
      std::printf("{\"result\": %d, \"error\": %s}\n", run.result != 0 ? run.result : 87,
                  JsonString(run.message).c_str());
    }
    return run.exitStatus != kExitDone ? run.exitStatus : kExitSourceUnopenable;
  }

  CScanSession& session = *run.session;
  const CStatisticsObj* statistics = session.WithStatistics([&](CStatisticsObj& s) {
    Select(s, only, deleted_only);
    return static_cast<const CStatisticsObj*>(&s);
  });
  RecoverSource source{statistics, session.Engine(), &session.Results().messages,
                       &session.Results().whatsApp, session.SelectedBackup().displayName};
  ProgressLine line(!json && ::isatty(STDERR_FILENO) == 1);
  RecoverJob job(root, source, &line);
  if (int rc = job.LoadTemplates(GetAppDir()); rc != 0) {
    std::u16string text = LanguageSettings::Get().Text("Messages", "MSG1104");
    std::fprintf(stderr, "%s\n(%s: %s)\n",
                 text.empty() ? "A template file is missing." : Utf16ToUtf8(text).c_str(),
                 job.failed_template().c_str(), Utf16ToUtf8(RecoverErrorText(rc)).c_str());
    if (json) std::printf("{\"result\": %d, \"error\": \"template\"}\n", rc);
    return kExitSourceUnopenable;
  }

  g_cancel.store(false);
  struct sigaction action {};
  action.sa_handler = OnExportInterrupt;
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  ::sigaction(SIGINT, &action, &previous);
  job.Start();
  bool cancelling = false;
  while (!job.IsFinished()) {
    if (g_cancel.load() && !cancelling) {
      cancelling = true;
      job.Cancel();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  job.Wait();
  ::sigaction(SIGINT, &previous, nullptr);
  line.Finish();

  const RecoverCounts counts = job.Counts();
  const std::vector<RecoverDetailRow> rows = job.DetailRows();
  // The result: 2 after a cancel, else the code of the first item that failed, else 0.
  int result = 0;
  for (const RecoverDetailRow& row : rows) {
    if (row.failed) result = row.code;  // rows list the newest failure first
  }
  if (job.IsCancelled()) result = kStopped;

  if (json) {
    std::printf("{\"result\": %d, \"done\": %d, \"failed\": %d, \"total\": %d, \"root\": %s}\n",
                result, counts.done, counts.failed, counts.total,
                JsonString(root.string()).c_str());
  } else {
    for (const RecoverDetailRow& row : rows) {
      if (row.failed) {
        std::fprintf(stderr, "Failed: %s: %s\n", row.path.c_str(), Utf16ToUtf8(row.status).c_str());
      }
    }
    std::u16string format = LanguageSettings::Get().Text("Messages", "MSG1102");
    if (format.empty()) format = u"%d of %d item(s) done: %d recovered, %d failed";
    std::printf("%s\n", Utf16ToUtf8(FormatRecoveredText(format, counts)).c_str());
    if (job.IsCancelled()) std::printf("The export was cancelled.\n");
    std::printf("The export is in %s\n", root.c_str());
  }
  if (job.IsCancelled()) return kExitStopped;
  return counts.failed == 0 ? kExitDone : kExitItemsFailed;
}

}  // namespace salvora::cli
