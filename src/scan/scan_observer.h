// What a scan session tells its window or command line while it runs.
//
// Every callback runs on the scan's worker thread. A window turns the messages into posted
// events whose type numbers are the main-window message numbers below and handles them on
// its own thread in posting order; a command-line program may print directly. A callback
// must return quickly and must not call back into the session's Pause, Stop or Start (the
// worker would wait for itself).
#pragma once

#include <array>
#include <cstdint>

#include "core/category_id.h"

namespace salvora {

// The source of a scan; the value is also the engine kind of the factory.
enum ScanSource : int32_t {
  ScanSourceDevice = 0,  // the connected device
  ScanSourceBackup = 1,  // a backup folder
};

// The main-window messages a scan posts (the first user message number 1024 plus an offset).
enum class ScanMessage : int32_t {
  kTreeUpdate = 1032,  // WM_SCAN_TREE_UPDATE: the tree writes the current counts
  kListUpdate = 1033,  // WM_SCAN_LIST_UPDATE: the first category with data is shown
  kDone = 1034,        // WM_SCAN_DONE: the page switches to its finished state
  kEvent = 1035,       // WM_SCAN_EVENT: the parameter is one of the ScanEvent codes
};

// Codes of WM_SCAN_EVENT.
enum ScanEvent : int32_t {
  kScanEventFirstProgress = 0,  // the engine reported its first step (percent 1)
  kScanEventWrongPassword = 1,  // Open returned -110; no WM_SCAN_DONE follows
  kScanEventError = 3,          // Open failed otherwise; WM_SCAN_DONE follows
  kScanEventOpenRefused = 4,    // Open returned -111; no WM_SCAN_DONE follows
};

// The category counts that the progress callback captures for the tree's live refresh:
// camera roll, app photos, app videos, message conversations, message attachments,
// contacts, calls and notes. Indexed by CategoryId value; the other entries stay 0.
using CapturedCounts = std::array<uint32_t, 12>;

class IScanObserver {
 public:
  virtual ~IScanObserver() = default;

  // A main-window message. `param` is:
  //   kTreeUpdate: the category whose step has just finished, or 0 after Open;
  //   kListUpdate: the first category that holds data (posted once per scan);
  //   kDone: the scan's final result code;
  //   kEvent: the ScanEvent code.
  virtual void OnScanMessage(ScanMessage message, int32_t param) = 0;

  // The shown percent rose (2 to 99). `counts` are the counts captured with it. Called under
  // the session's progress lock.
  virtual void OnProgress(int32_t shownPercent, const CapturedCounts& counts) {
    (void)shownPercent;
    (void)counts;
  }

  // 100 ms after the first-progress event: the page shows its guidance layout with the
  // loading animation in place of the data list. Called under the progress lock.
  virtual void OnShowGuidance() {}
};

}  // namespace salvora
