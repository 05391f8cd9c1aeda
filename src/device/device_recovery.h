// The engine over a connected device. Open backs the device up into the scratch root through
// the backup job (backup_job.h), copies the databases it reads out of that backup under fixed
// names, and takes the device's layout flag; the read operations then work like those of the
// local-backup engine, on those copies and on the manifest of the fresh backup.
//
// Folders:
//   working root   the scratch root (backup/scratch_root.h); the backup lands in
//                  working root/udid, the database copies directly in the working root
//   work folder    the application-data work folder; the preview's scratch files
//
// Database copies made by Open (a missing source leaves its copy as it was):
//   "AddressBook"  31bb7ba8914766d4ba40d6dfb6113c8b614be442
//   "sms"          3d0d7e5fb2ce288813306e4d4636395e047a3d28
//   "notes"        ca3bc056d4da0bbf88b5fb3be254f3b7147e639c (the older notes store)
//   "NoteStore"    4f98687d8ab0d6d1a371110e6b7300f6e465bef2 (the newer store, read when the
//                  older one gives no note, as the local-backup engine does)
//   "history"      5a4935c78a5255723f707230a451d79c540d2741, else 2b2b0084a1bc3a5ac8c27afdf1...
//   "ChatStorage"  7c7fba66680ef796b916b067077cc246adacf01d, else 1b6b187a1b60b9ae8b720c79e2...
//
// Progress plan (progressBase 20 after Open, progressSpan 10): photos and app files report
// per manifest entry with share 20 and advance by 20; attachments and WhatsApp attachments
// share 10, advance 10; messages, contacts, call history and notes advance by 5; WhatsApp by
// 10. A device scan thus reports values past 100 towards its end; the scan page caps what it
// shows at 99.
//
// Clean-up: when the engine is made and when it is destroyed, the files directly in the
// working root and in working root/"TarnwickBackupPath" and the preview scratch files are
// deleted; at destruction the backup folder is emptied as well (it stays itself).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "backup/backup_layout.h"
#include "core/iphone_recovery_parse.h"
#include "core/manifest_entry.h"
#include "core/progress.h"
#include "device/device_connection.h"

namespace salvora {

class CDeviceRecovery : public IPhoneRecoveryParse {
 public:
  // Works on the process-wide connection, the process-wide scratch root and the work folder.
  CDeviceRecovery();
  // Works on `connection` (not owned; it must outlive the engine's Open) with the given
  // folders (tests).
  CDeviceRecovery(DeviceConnection& connection, std::filesystem::path workingRoot,
                  std::filesystem::path workFolder);
  ~CDeviceRecovery() override;
  CDeviceRecovery(const CDeviceRecovery&) = delete;
  CDeviceRecovery& operator=(const CDeviceRecovery&) = delete;

  // Ignores `reader`; resets the progress position and the two-level flag. Returns 0.
  int Attach(BackupReader* reader) override;
  int SetProgressCallback(ProgressCallback callback, void* userData) override;
  [[nodiscard]] bool IsLocalBackup(int) override { return false; }

  // Reports 1, runs the backup job (progress 0 to 20) with `password` (the device's backup
  // password, empty for none), makes the database copies and reports 20. Returns 0; the
  // callback's non-zero answer; 87 when there is no working root; or the job's failure (a
  // refused password as the device's negated code, -1 for an abort). A backup that worked but
  // left the device's backup encryption off counts as done: the connection's
  // backupEncryptionLeftOff says so.
  [[nodiscard]] int Open(const std::u16string& password) override;

  // The category operations: the extractors on the copies, the file classification on the
  // backup's manifest ("Manifest.db" for the two-level layout, else "Manifest.mbdb", read
  // afresh each time). Photos, attachments and app files return 87 with nothing found when
  // the manifest is missing; WhatsApp attachments then give an empty list.
  [[nodiscard]] int ReadMessages(MessageMap& conversations) override;
  [[nodiscard]] int ReadMessageAttachments(FileList& attachments) override;
  [[nodiscard]] int ReadContacts(ContactList& contacts) override;
  [[nodiscard]] int ReadNotes(NoteList& notes) override;
  [[nodiscard]] int ReadCallHistory(CallList& calls) override;
  [[nodiscard]] int ReadPhotos(FileList& cameraRoll, FileList& photoStream) override;
  // Replaces `attachments` with the typed, non-empty files whose key holds
  // "whatsapp.WhatsApp", named like app files.
  [[nodiscard]] int ReadWhatsAppAttachments(FileList& attachments) override;
  [[nodiscard]] int ReadAppFiles(AppFileList& appFiles) override;
  [[nodiscard]] int ReadWhatsApp(ChatMap& chats) override;

  // After the scan (other threads; they use only what is on disk).
  [[nodiscard]] int MakePreviewCopy(const std::filesystem::path& source,
                                    std::filesystem::path& copy, ProgressCallback callback,
                                    void* userData) override;
  [[nodiscard]] int CopyOut(const std::filesystem::path& source,
                            const std::filesystem::path& destination, CopyProgressCallback callback,
                            void* userData) override;
  // Byte copies of the "sms" and "AddressBook" copies, replacing `destination`. Return 0.
  int CopyMessageDatabase(const std::filesystem::path& destination) override;
  int CopyAddressBookDatabase(const std::filesystem::path& destination) override;
  // One WhatsApp chat of the "ChatStorage" copy as UTF-8 lines "date sender: text".
  [[nodiscard]] int WriteWhatsAppChat(int32_t chatId, const std::filesystem::path& destination,
                                      CopyProgressCallback callback, void* userData) override;

  [[nodiscard]] const std::filesystem::path& working_root() const { return workingRoot_; }
  [[nodiscard]] const std::filesystem::path& backup_folder() const { return backupFolder_; }
  [[nodiscard]] bool two_level() const { return twoLevel_; }
  [[nodiscard]] const ProgressState& progress() const { return progress_; }
  // Where Open puts the copy called `name` ("sms", "AddressBook", ...).
  [[nodiscard]] std::filesystem::path CopyPath(const std::string& name) const {
    return workingRoot_ / name;
  }

 private:
  void CleanWorkArea() const;
  void MakeDatabaseCopies() const;
  // Reads the backup's manifest into `index`; kInvalidParameter when it does not exist.
  [[nodiscard]] int ReadBackupManifest(ManifestIndex& index) const;
  [[nodiscard]] BackupLayout Layout() const;
  [[nodiscard]] int Advance(int share);

  DeviceConnection& connection_;
  std::filesystem::path workingRoot_;
  std::filesystem::path workFolder_;
  std::filesystem::path backupFolder_;
  bool twoLevel_ = false;
  ProgressState progress_;
};

// The creator the scan session's engine factory takes for kind 0.
[[nodiscard]] std::unique_ptr<IPhoneRecoveryParse> CreateDeviceEngine();

}  // namespace salvora
