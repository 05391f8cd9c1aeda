// The backup reader: the one long-lived object that knows the backups kept on this computer
// and reads the one being scanned.
//
// Backups live below the backup root, "Apple Computer/MobileSync/backup" in the roaming
// application-data folder; every entry of the root whose name does not start with "." is a
// candidate. A backup's summary comes from its "Info.plist" (XML or binary property list):
// "Display Name", "Last Backup Date" (shown in local standard time), "Phone Number",
// "Product Version" and "Serial Number". Whether the backup is encrypted is read from
// "Manifest.plist" ("IsEncrypted") when the folder has one, else probed on the address-book
// database, whose first bytes are "SQLite" only in a plain backup.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/backup_info.h"

namespace salvora {

class BackupReader {
 public:
  // Finds the backup folders below `backup_root`, or below the default root when none is
  // given.
  explicit BackupReader(std::optional<std::filesystem::path> backup_root = std::nullopt);
  virtual ~BackupReader();
  BackupReader(const BackupReader&) = delete;
  BackupReader& operator=(const BackupReader&) = delete;

  // The default backup root; empty when there is no application-data folder.
  [[nodiscard]] static std::filesystem::path DefaultBackupRoot();

  // Fills the candidate list from the root (run by the constructor). Returns 0, or
  // kInvalidParameter when there is no application-data folder. A missing root gives an
  // empty list and 0.
  int FindBackupFolders();

  // Appends one summary per candidate that holds a readable "Info.plist", then sorts the
  // whole list newest first (stable; equal dates keep their order). Returns 0.
  int ListBackups(std::vector<BackupInfo>& list) const;

  // Fills `info` for a folder chosen by the user. Returns 0, or kInvalidParameter when the
  // folder holds no readable "Info.plist" (`info` is then left empty).
  [[nodiscard]] int ReadFolder(const std::filesystem::path& folder, BackupInfo& info) const;

  // Makes `info` the backup being read and its folder the current folder. Returns 0.
  int SetCurrentBackup(const BackupInfo& info);

  // 1 when the backup in `folder` is encrypted, 0 when not or when it cannot be told.
  [[nodiscard]] static int ProbeEncryption(const std::filesystem::path& folder);

  [[nodiscard]] const std::filesystem::path& backup_root() const { return backup_root_; }
  [[nodiscard]] const std::vector<std::filesystem::path>& candidates() const { return candidates_; }
  [[nodiscard]] const BackupInfo& current_backup() const { return current_; }
  [[nodiscard]] const std::filesystem::path& current_folder() const { return current_folder_; }

  // Reads the summary of `folder` into `info`; false when "Info.plist" cannot be read.
  [[nodiscard]] static bool ReadSummary(const std::filesystem::path& folder, BackupInfo& info);

  // Sorts summaries newest first by their date text, keeping the order of equal dates.
  static void SortNewestFirst(std::vector<BackupInfo>& list);

 protected:
  std::filesystem::path backup_root_;
  std::vector<std::filesystem::path> candidates_;
  BackupInfo current_;
  std::filesystem::path current_folder_;
};

// The "Last Backup Date" text rule for dates stored as text: the first "T" becomes a blank,
// the text is cut at the first "Z", then "Y-M-D h:m:s" is read as UTC and shown in local
// standard time. Text without every separator is returned as it stands after the T/Z step.
[[nodiscard]] std::string LocalStandardDateFromText(const std::string& text);

// The local standard time text of a Unix time.
[[nodiscard]] std::string LocalStandardDateText(int64_t unix_seconds);

}  // namespace salvora
