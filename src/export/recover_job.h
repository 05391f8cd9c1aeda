// The recover job: writes the checked items of a scan into the output root on one worker
// thread, with per-item progress, counts of done and failed items, a detail row per finished
// item, and cancel. The recover window and `salvora-cli export` only show what it reports.
//
// A run:
// 1. Takes the run stamp; done = failed = 0; total = the root's selected count in the
//    statistics (rows hidden by the deleted-only filter included, so a filtered run ends
//    with done below total).
// 2. Walks the statistics entries in index order and exports each record entry that is
//    selected and not hidden: media files are copied through the engine's CopyOut (an app's
//    files into a folder of the app); a message conversation gets its transcript and page, a
//    WhatsApp chat its transcript, table and page; contacts, calls and notes become rows of
//    their category pages.
// 3. Writes, in this order: "Message/sms.csv" and the raw "sms.db" when a conversation was
//    exported; the call history page; the notes page; the contacts table, the raw
//    "AddressBook.sqlitedb" and the contacts page.
// 4. Reports the end to the observer and sets the finished flag.
//
// Counting: an item counts once, with its first report of percent 100 (a copy's last chunk
// or its failure, a conversation's last message, a row when it is added); a non-zero code
// counts it as failed and gives a failed detail row (shown first), else a "Success" row. An
// item that finished without such a report (an empty file, whose copy reports nothing) is
// counted when it returns, with its result.
//
// Cancel: the window takes the report lock (Pause; the worker blocks at its next report),
// asks its question, and either resumes or cancels. After a cancel every report answers 2,
// the walk ends at once, the destination of the copy or page in progress is deleted, and
// step 3 still writes the pages and tables of the items already done (their rows were
// reported as recovered), before the finished flag is set.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/iphone_recovery_parse.h"
#include "core/records.h"
#include "core/statistics_obj.h"
#include "export/html_export.h"

namespace salvora {

// What the job reads. Nothing is owned; everything must outlive the job and stay unchanged
// while it runs (the recover window is modal over the scan page).
struct RecoverSource {
  const CStatisticsObj* statistics = nullptr;
  IPhoneRecoveryParse* engine = nullptr;
  const MessageMap* messages = nullptr;  // conversations by handleId
  const ChatMap* whatsApp = nullptr;     // chats by chatId
  std::u16string sourceName;             // device or backup name, for the page titles
};

struct RecoverCounts {
  int32_t done = 0;    // items finished, successful or not
  int32_t failed = 0;  // of those, failed
  int32_t total = 0;   // selected items when the run started
};

// One row of the detail list.
struct RecoverDetailRow {
  std::filesystem::path path;  // the file written (for rows, the category page)
  std::u16string status;       // "Success", or the text of the error code
  int code = 0;                // 0, or the error code
  bool failed = false;         // failed rows go to the top of the list, drawn in red
};

// Receives the job's news on the worker thread, while the job holds its report lock: a
// callback must return quickly and must not call Pause, Cancel or Wait of the job.
class IRecoverObserver {
 public:
  virtual ~IRecoverObserver() = default;
  // After every report: the current item's percent (0 to 100) and path, and the counts.
  virtual void OnRecoverProgress(int percent, const std::filesystem::path& current,
                                 const RecoverCounts& counts) {
    (void)percent;
    (void)current;
    (void)counts;
  }
  // An item finished; called before the OnRecoverProgress of the same report.
  virtual void OnRecoverItem(const RecoverDetailRow& row) { (void)row; }
  // The run is over (`cancelled` after a confirmed cancel); the finished flag follows.
  virtual void OnRecoverFinished(const RecoverCounts& counts, bool cancelled) {
    (void)counts;
    (void)cancelled;
  }
};

// The status text of an error code: the project's codes (87 "The file cannot be opened or
// the path is invalid.", 30, 2, ...) and otherwise the system's text of the errno value.
[[nodiscard]] std::u16string RecoverErrorText(int code);
// The "recovered" label: `format` (the language text "MSG1102") filled with done, total,
// done - failed and failed.
[[nodiscard]] std::u16string FormatRecoveredText(std::u16string_view format,
                                                 const RecoverCounts& counts);
// The "percent" label: "%s %d%%" with `prefix` (the language text "MSG1101").
[[nodiscard]] std::u16string FormatPercentText(std::u16string_view prefix, int percent);

class RecoverJob {
 public:
  // `observer` may be null; it is not owned.
  RecoverJob(std::filesystem::path output_root, RecoverSource source, IRecoverObserver* observer);
  // Waits for a started worker.
  ~RecoverJob();
  RecoverJob(const RecoverJob&) = delete;
  RecoverJob& operator=(const RecoverJob&) = delete;

  // Loads the five templates from `app_dir` + "template/" (before Start). Returns 0, or the
  // error of the first template that cannot be read or has no "{|content|}" (the window
  // then shows "MSG1104" and exports nothing); failed_template() names that file.
  [[nodiscard]] int LoadTemplates(const std::filesystem::path& app_dir);
  [[nodiscard]] const std::filesystem::path& failed_template() const {
    return html_.failed_template();
  }
  // The template set, for callers that supply templates themselves (tests).
  [[nodiscard]] HtmlExport& html() { return html_; }

  // Runs the job on the calling thread, or on a new worker thread. Start must be called at
  // most once, and not together with Run. Without statistics or engine the run ends at once
  // with nothing done.
  void Run();
  void Start();

  // Holds reports: the worker blocks at its next one until Resume or CancelWhilePaused.
  // Called on one (the window's) thread, not twice in a row.
  void Pause();
  void Resume();
  // While paused: sets the cancel flag and releases the reports.
  void CancelWhilePaused();
  // Pause and CancelWhilePaused together.
  void Cancel();

  // Blocks until the run has set its finished flag (joins a started worker).
  void Wait();
  [[nodiscard]] bool IsFinished() const { return finished_.load(); }
  [[nodiscard]] bool IsCancelled() const { return cancelled_.load(); }

  // Safe at any time.
  [[nodiscard]] RecoverCounts Counts() const;
  // The run stamp (empty before the run starts) and the output root.
  [[nodiscard]] std::u16string stamp() const;
  [[nodiscard]] const std::filesystem::path& output_root() const { return root_; }
  // The detail list in display order (failed rows first, newest failure on top; then the
  // successes in the order they finished). Read it after the run.
  [[nodiscard]] std::vector<RecoverDetailRow> DetailRows() const;

  // The CopyProgressCallback handed to the engine and the writers; `user_data` is the job.
  static int OnReport(void* user_data, int percent, int code, const std::filesystem::path& path);

 private:
  int Report(int percent, int code, const std::filesystem::path& path);
  void ExportEntry(StatKey key, const StatEntry& entry);
  void CopyFile(const std::filesystem::path& source, const std::filesystem::path& destination);
  void ExportConversation(const MessageRecord& row);
  void ExportChat(const ChatRecord& row);
  // Counts the item with `code` when none of its reports did.
  void EndItem(int code, const std::filesystem::path& path);
  void WriteCategoryFiles();

  const std::filesystem::path root_;
  const RecoverSource source_;
  IRecoverObserver* const observer_;
  HtmlExport html_;
  const MessageMap empty_messages_;
  const ChatMap empty_chats_;

  // The report lock: serialises reports against Pause and the cancel question.
  std::mutex lock_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};
  std::thread worker_;
  // Counts are atomics so that Counts() answers while the window holds the report lock.
  std::atomic<int32_t> done_{0};
  std::atomic<int32_t> failed_{0};
  std::atomic<int32_t> total_{0};
  mutable std::mutex data_lock_;  // guards the stamp and the detail rows
  std::u16string stamp_;
  std::vector<RecoverDetailRow> failed_rows_;     // in finishing order; shown newest first
  std::vector<RecoverDetailRow> succeeded_rows_;  // in finishing order
  // Worker only.
  bool item_counted_ = false;
  bool messages_written_ = false;
  std::vector<const MessageRecord*> message_rows_;
  std::vector<const ContactRecord*> contacts_;
};

}  // namespace salvora
