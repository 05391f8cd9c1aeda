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
//
// For a scan the reader opens the current backup (decrypting it first when it is
// encrypted), reads its manifest into the manifest index and assembles every category from
// the backup's databases and files; the local-backup engine (local_buckup_recovery.h) is a
// thin shell over these operations. Progress follows the scan plan: Open sets progressBase
// to 0 and progressSpan to 11 (10 for an encrypted backup), and each operation reports
// progressBase plus its share and then advances progressBase (a scan of a plain backup
// ends at 98). Every report that answers non-zero ends the operation, which returns that
// answer. Nothing is ever written into the user's backup folder (only the decryptor writes
// its "Manifest.db-decypted" there).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_layout.h"
#include "core/backup_info.h"
#include "core/manifest_entry.h"
#include "core/progress.h"
#include "core/records.h"

namespace salvora {

// Where a reader keeps its files; every folder not given takes the default.
struct BackupReaderFolders {
  std::optional<std::filesystem::path> backupRoot;  // default: DefaultBackupRoot()
  std::optional<std::filesystem::path> workFolder;  // default: WorkFolder() of core
  std::optional<std::filesystem::path> scratchRoot; // default: ScratchRoot() (scratch_root.h)
  std::optional<std::filesystem::path> programFolder;  // default: GetAppDir(); holds "tool"
};

class BackupReader {
 public:
  // Creates the work folder, runs the clean-up and finds the backup folders below the
  // backup root.
  explicit BackupReader(std::optional<std::filesystem::path> backup_root = std::nullopt);
  explicit BackupReader(const BackupReaderFolders& folders);
  // Runs the clean-up.
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

  // --- Reading the current backup (on the scan's worker thread) ---

  void SetProgressCallback(ProgressCallback callback, void* userData);
  [[nodiscard]] const ProgressState& progress() const { return progress_; }

  // Opens the current backup: decrypts it with `password` when its summary says it is
  // encrypted, then reads its manifest ("Manifest.db-decypted" or "Manifest.db" for the
  // two-level layout, else "Manifest.mbdb"). Returns 0; kInvalidParameter (87) when the
  // folder holds no manifest or the decryptor cannot run; kWrongPassword (-110); the
  // manifest reader's code; or the progress callback's non-zero answer.
  [[nodiscard]] int Open(const std::u16string& password);

  [[nodiscard]] int ReadPhotos(FileList& cameraRoll, FileList& photoStream);
  [[nodiscard]] int ReadMessages(MessageMap& conversations);
  [[nodiscard]] int ReadMessageAttachments(FileList& attachments);
  [[nodiscard]] int ReadContacts(ContactList& contacts);
  [[nodiscard]] int ReadCallHistory(CallList& calls);
  [[nodiscard]] int ReadNotes(NoteList& notes);
  // Also collects the WhatsApp attachments for ReadWhatsAppAttachments.
  [[nodiscard]] int ReadAppFiles(AppFileList& appFiles);
  [[nodiscard]] int ReadWhatsApp(ChatMap& chats);
  // Replaces `attachments` with the WhatsApp files ReadAppFiles collected.
  [[nodiscard]] int ReadWhatsAppAttachments(FileList& attachments);

  // After a scan (other threads; they read only the current folder and layout):
  [[nodiscard]] int MakePreviewCopy(const std::filesystem::path& source,
                                    std::filesystem::path& copy, ProgressCallback callback,
                                    void* userData) const;
  [[nodiscard]] int CopyOut(const std::filesystem::path& source,
                            const std::filesystem::path& destination,
                            CopyProgressCallback callback, void* userData) const;
  // Byte copies of the messages and address-book databases, replacing `destination`.
  // Return 0 (a missing source leaves the destination as it was).
  int CopyMessageDatabase(const std::filesystem::path& destination) const;
  int CopyAddressBookDatabase(const std::filesystem::path& destination) const;
  // Writes one WhatsApp chat of the current backup as UTF-8 text ("date sender: text" lines).
  [[nodiscard]] int WriteWhatsAppChat(int32_t chatId, const std::filesystem::path& destination,
                                      CopyProgressCallback callback, void* userData) const;

  // Deletes the decrypted files, empties the decrypted file list and deletes the preview
  // scratch files. Files of the user's backups are never touched.
  void CleanUp();

  [[nodiscard]] const ManifestIndex& manifest() const { return index_; }
  [[nodiscard]] const BackupLayout& layout() const { return layout_; }
  [[nodiscard]] const std::filesystem::path& work_folder() const { return work_folder_; }
  [[nodiscard]] const std::filesystem::path& scratch_root() const { return scratch_root_; }
  // The folder the decryptor writes into: scratch root + "TarnwickBackupPath".
  [[nodiscard]] std::filesystem::path DecryptedFolder() const;
  [[nodiscard]] const std::vector<std::filesystem::path>& decrypted_files() const {
    return decrypted_files_;
  }
  // The UTF-8 path of a fixed database in the current layout.
  [[nodiscard]] std::string DatabasePath(const std::string& fileId) const;

 protected:
  // Advances progressBase by `share` and reports the new value; the callback's answer.
  [[nodiscard]] int Advance(int share);

  std::filesystem::path backup_root_;
  std::vector<std::filesystem::path> candidates_;
  BackupInfo current_;
  std::filesystem::path current_folder_;

  std::filesystem::path work_folder_;
  std::filesystem::path scratch_root_;
  std::filesystem::path program_folder_;
  ProgressState progress_;
  ManifestIndex index_;
  BackupLayout layout_;
  std::vector<std::filesystem::path> decrypted_files_;
  FileList whatsapp_attachments_;
};

// The "Last Backup Date" text rule for dates stored as text: the first "T" becomes a blank,
// the text is cut at the first "Z", then "Y-M-D h:m:s" is read as UTC and shown in local
// standard time. Text without every separator is returned as it stands after the T/Z step.
[[nodiscard]] std::string LocalStandardDateFromText(const std::string& text);

// The local standard time text of a Unix time.
[[nodiscard]] std::string LocalStandardDateText(int64_t unix_seconds);

}  // namespace salvora
