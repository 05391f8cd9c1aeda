// Running one scan from the command line: the source, the password, the progress bar on a
// terminal, Ctrl-C as the stop request, and the sentence for each way a scan can end. The
// scan and export commands share it.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_reader.h"
#include "scan/scan_session.h"

namespace salvora::cli {

struct ScanRequest {
  std::filesystem::path source;  // a backup folder
  bool device = false;           // the connected device instead of `source`
  std::optional<std::string> password;
  bool quiet = false;  // no progress bar
};

// The parts of a finished scan that a command reads.
struct ScanRun {
  std::unique_ptr<BackupReader> reader;
  std::unique_ptr<IScanObserver> observer;
  std::unique_ptr<CScanSession> session;
  int result = 0;     // the session's result
  int exitStatus = 0; // kExitDone, kExitSourceUnopenable, kExitStopped, kExitWrongPassword
  std::string message;  // a sentence for the user when the scan did not finish
};

// Parses --password PW and --password-file FILE at args[i] (advancing i). Returns true when
// args[i] was one of them; `error` is set to a sentence for a bad use.
bool ParsePasswordOption(const std::vector<std::string>& args, size_t& i,
                         std::optional<std::string>& password, std::string& error);

// Runs the scan of `request` to its end. Ctrl-C stops it through the stop protocol.
void RunScan(const ScanRequest& request, ScanRun& run);
// The same for the connected device (request.device): connects, turns backup encryption off
// with the password when the device encrypts, scans through the device engine, disconnects.
void RunDeviceScan(const ScanRequest& request, ScanRun& run);

// The shown count and the counted bytes of every category of a finished scan.
struct CategoryFigures {
  uint32_t count = 0;
  uint64_t bytes = 0;
};
[[nodiscard]] std::vector<CategoryFigures> CategoryTotals(CScanSession& session);

}  // namespace salvora::cli
