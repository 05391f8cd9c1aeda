// The scan session: what the scan page does without its widgets, so that the window and the
// command-line program drive a scan the same way.
//
// A session owns the result containers of one scan, the selection statistics and the
// engine. Start creates the engine through the factory, registers the session's progress
// callback and runs, on one worker thread, Open and then ReadPhotos, ReadMessages,
// ReadMessageAttachments, ReadContacts, ReadCallHistory, ReadNotes, ReadAppFiles,
// ReadWhatsApp and ReadWhatsAppAttachments. After each operation the worker runs that
// category's step (conversation rows, sorts, the App Photos / App Videos split, statistics)
// and tells the observer (scan_observer.h):
//
//   Open 0           kTreeUpdate(0), then the operations
//   Open -110        kEvent(1) and the scan ends (no kDone)
//   Open -111        kEvent(4) and the scan ends (no kDone)
//   Open 2 or -1     kDone and the scan ends
//   Open other       kEvent(3), then kDone
//   each category    kTreeUpdate(category); for the first category that holds data also
//                    kListUpdate(category)
//   a read gives 2   the step of that category runs (what was found before the stop is kept
//                    and listed), then kDone; no further operation is called
//   any other read   result (errors included): the scan goes on
//   the end          kDone
//
// Progress: the engine's reports pass the progress lock and the stop flag; a report higher
// than the shown percent becomes the shown percent (2 to 99, never lower, see
// core/shown_percent.h), and a report of exactly 1 first posts kEvent(0), waits 100 ms and
// asks the observer to show the guidance layout.
//
// Pause holds the progress lock, so the worker blocks at its next report (an operation that
// makes no reports pauses only when it next reports). Stop sets the stop flag under the lock
// and raises the device backup's abort counter; the next report answers 2, which every
// operation passes back.
//
// Threads: Start, Reset, Pause, Resume and the stop calls are made by one controlling thread
// (the window's thread, or the command line's main thread); the observer is called on the
// worker. The statistics are shared with the worker while it adds categories: use
// WithStatistics. A category's containers are complete, and safe to read from the
// controlling thread, once its kTreeUpdate has been sent (CategoryDone); everything is once
// the scan has ended.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/backup_info.h"
#include "core/category_id.h"
#include "core/iphone_recovery_parse.h"
#include "core/statistics_obj.h"
#include "scan/engine_factory.h"
#include "scan/progress_lock.h"
#include "scan/scan_observer.h"
#include "scan/scan_results.h"

namespace salvora {

class BackupReader;

// The operations of a scan in their calling order.
enum class ScanStep : int32_t {
  kOpen = 0,
  kPhotos,
  kMessages,
  kMessageAttachments,
  kContacts,
  kCallHistory,
  kNotes,
  kAppFiles,
  kWhatsApp,
  kWhatsAppAttachments,
};
inline constexpr size_t kScanStepCount = 10;

// What the session needs besides its observer.
struct ScanSessionSetup {
  EngineCreators engines;
  // The backup reader handed to the local-backup engine and told which backup is scanned
  // (not owned; it must outlive the session). May be null for device scans and tests.
  BackupReader* reader = nullptr;
  // Splits the app-file list into the App Photos and App Videos maps. Empty: the split of
  // the file classification is used.
  std::function<void(const AppFileList&, AppFileMap& photos, AppFileMap& videos)> splitAppFiles;
};

class CScanSession {
 public:
  // `observer` is not owned and must outlive the session; it may be null.
  CScanSession(ScanSessionSetup setup, IScanObserver* observer);
  // Stops a running scan (as Stop does) and waits for its worker; then frees the engine.
  ~CScanSession();
  CScanSession(const CScanSession&) = delete;
  CScanSession& operator=(const CScanSession&) = delete;

  // The hand-over fields the source pages fill before a scan: the chosen backup (given to
  // the backup reader as its current backup when a backup scan starts) and the password
  // (UTF-16, empty when none is needed).
  void SetSelectedBackup(const BackupInfo& backup);
  void SetPassword(std::u16string password);
  [[nodiscard]] const BackupInfo& SelectedBackup() const { return backup_; }

  // Starts a scan of `source` (ScanSourceDevice or ScanSourceBackup): frees the previous
  // engine, creates the new one, resets the results, statistics, counts and shown percent,
  // and starts the worker.
  // Returns kOk; kInvalidParameter when a scan is still running (nothing changes), or when
  // `source` is no engine kind or its engine cannot be created (the previous engine is
  // freed; no worker starts and the results stay as they were).
  [[nodiscard]] int Start(int source);

  // Empties every result container and the statistics and clears the counts, the shown
  // percent and the first category (the page's reset, also used by Home). Does nothing while
  // a scan runs.
  void Reset();

  // Pause: while a scan runs and is not paused, takes the progress lock and keeps it.
  // Returns true when it paused.
  bool Pause();
  // Resume: releases the lock taken by Pause. Returns true when it resumed.
  bool Resume();

  // Stop in three parts, so that a window can ask the user in between while the worker is
  // held: BeginStop takes the progress lock unless paused (the worker blocks at its next
  // report); ConfirmStop clears the paused state, raises the device backup's abort counter,
  // sets the stop flag, releases the lock and waits, polling every 50 ms, until the scan has
  // ended; CancelStop releases the lock unless the scan was paused before BeginStop (a
  // paused scan stays paused). Each does nothing when no scan runs.
  void BeginStop();
  void ConfirmStop();
  void CancelStop();
  // BeginStop then ConfirmStop.
  void Stop();

  // Waits, polling every 50 ms, until the scan has ended, then joins the worker. Returns at
  // once when no scan runs. Must not be called while this thread holds the pause.
  void Wait();

  // --- State, safe to read from any thread ---

  [[nodiscard]] bool IsRunning() const { return !ended_.load(); }
  [[nodiscard]] bool IsPaused() const { return paused_.load(); }
  // True once a scan has ended and until the next Start or Reset.
  [[nodiscard]] bool IsFinished() const { return finished_.load(); }
  // The scan's final result: Open's code when it failed; 2 when the scan was stopped (also
  // for an Open that returned 2 or -1); otherwise 0. A category that failed does not change
  // it (see StepResult).
  [[nodiscard]] int Result() const { return result_.load(); }
  // The code each operation returned in the last scan; kNotRun when it was not called.
  static constexpr int kNotRun = INT32_MIN;
  [[nodiscard]] int StepResult(ScanStep step) const;
  [[nodiscard]] int ShownPercent() const { return shownPercent_.load(); }
  // The counts captured by the progress callback at its last raise of the shown percent.
  [[nodiscard]] CapturedCounts Counts() const;
  // The category's tree count, once its step has run (0 before).
  [[nodiscard]] uint32_t CategoryCount(CategoryId category) const;
  // Whether the category's step has run in this scan.
  [[nodiscard]] bool CategoryDone(CategoryId category) const;
  // The first category that held data in this scan.
  [[nodiscard]] std::optional<CategoryId> FirstCategory() const;

  // --- Results (see the file comment for when they may be read) ---

  [[nodiscard]] const ScanResults& Results() const { return results_; }
  // The current engine (none before the first scan); the preview and export use its file
  // operations after the scan.
  [[nodiscard]] IPhoneRecoveryParse* Engine() const { return engine_.get(); }

  // Runs `fn(CStatisticsObj&)` under the statistics lock and returns its result.
  template <class Fn>
  decltype(auto) WithStatistics(Fn&& fn) {
    std::lock_guard<std::mutex> hold(statisticsMutex_);
    return std::forward<Fn>(fn)(statistics_);
  }
  template <class Fn>
  decltype(auto) WithStatistics(Fn&& fn) const {
    std::lock_guard<std::mutex> hold(statisticsMutex_);
    return std::forward<Fn>(fn)(static_cast<const CStatisticsObj&>(statistics_));
  }

  // The statistics label (core/statistics_label.h) filled into `format` ("MSG0514").
  [[nodiscard]] std::u16string StatisticsLabel(std::u16string_view format) const;
  // The recover button: the scan has finished or is paused, and a shown record is selected.
  [[nodiscard]] bool RecoverEnabled() const;

 private:
  static int ProgressThunk(void* session, int percent);
  int OnProgress(int percent);
  void RunWorker(std::u16string password);
  [[nodiscard]] int CallStep(ScanStep step);
  // The after-category step of one read operation.
  void FinishCategory(ScanStep step);
  void AddCategoryStatistics(CategoryId category);
  void Post(ScanMessage message, int32_t param);
  void JoinWorker();
  void CaptureCounts();
  void ResetState();
  // Releases the progress lock when the controlling side holds it (controlMutex_ held).
  void ReleaseHeldLock();

  ScanSessionSetup setup_;
  IScanObserver* observer_;
  BackupInfo backup_;
  std::u16string password_;

  std::unique_ptr<IPhoneRecoveryParse> engine_;
  ScanResults results_;
  CStatisticsObj statistics_;
  mutable std::mutex statisticsMutex_;

  // The controlling thread's side of pause and stop.
  std::mutex controlMutex_;
  bool holdsLock_ = false;  // the controlling side holds the progress lock

  ProgressLock progressLock_;
  std::atomic<bool> stopFlag_{false};
  std::atomic<bool> ended_{true};  // cleared when a scan starts, set when it has ended
  std::atomic<bool> finished_{false};
  std::atomic<bool> paused_{false};
  std::atomic<int> result_{0};
  std::atomic<int> shownPercent_{0};
  std::array<std::atomic<int>, kScanStepCount> stepResults_{};
  std::array<std::atomic<uint32_t>, 12> captured_{};
  std::array<std::atomic<uint32_t>, 12> categoryCounts_{};
  std::array<std::atomic<bool>, 12> categoryDone_{};
  std::atomic<int32_t> firstCategory_{0};
  std::mutex joinMutex_;
  std::thread worker_;
};

}  // namespace salvora
