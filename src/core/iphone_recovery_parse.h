// The engine interface through which a scan reads one source (a backup folder or a
// connected device) and through which preview and export copy its files afterwards.
//
// A scan calls, on one worker thread: SetProgressCallback, Open, then ReadPhotos,
// ReadMessages, ReadMessageAttachments, ReadContacts, ReadCallHistory, ReadNotes,
// ReadAppFiles, ReadWhatsApp, ReadWhatsAppAttachments. Every read needs a successful Open;
// ReadWhatsAppAttachments hands over what ReadAppFiles collected. A result of 2 (stopped)
// ends the scan; any other result lets it go on. MakePreviewCopy, CopyOut and the two
// database copies are used after the scan on other threads and do not touch the progress
// state. Results are the codes of core/result_codes.h, SQLite codes and errno values.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/progress.h"
#include "core/records.h"

namespace salvora {

class BackupReader;  // the long-lived reader of backup folders (backup/backup_reader.h)

class IPhoneRecoveryParse {
 public:
  virtual ~IPhoneRecoveryParse() = default;

  // The local engine keeps `reader` (not owned); the device engine ignores it and resets its
  // own state. Returns 0.
  virtual int Attach(BackupReader* reader) = 0;
  // Stores the callback and its user data. Returns 0.
  virtual int SetProgressCallback(ProgressCallback callback, void* userData) = 0;
  // No operation; returns 0.
  virtual int Reserved(int /*unused*/) { return 0; }
  // True for the local-backup engine, false for the device engine.
  [[nodiscard]] virtual bool IsLocalBackup(int unused) = 0;

  // Prepares the source and reads its manifest. `password` is empty for a plain backup.
  [[nodiscard]] virtual int Open(const std::u16string& password) = 0;
  [[nodiscard]] virtual int ReadMessages(MessageMap& conversations) = 0;
  [[nodiscard]] virtual int ReadMessageAttachments(FileList& attachments) = 0;
  [[nodiscard]] virtual int ReadContacts(ContactList& contacts) = 0;
  [[nodiscard]] virtual int ReadNotes(NoteList& notes) = 0;
  [[nodiscard]] virtual int ReadCallHistory(CallList& calls) = 0;
  [[nodiscard]] virtual int ReadPhotos(FileList& cameraRoll, FileList& photoStream) = 0;
  // Replaces `attachments` with the WhatsApp files found so far.
  [[nodiscard]] virtual int ReadWhatsAppAttachments(FileList& attachments) = 0;
  [[nodiscard]] virtual int ReadAppFiles(AppFileList& appFiles) = 0;
  [[nodiscard]] virtual int ReadWhatsApp(ChatMap& chats) = 0;

  // Copies a media file to the work folder's scratch file for its kind ("tmp.jpg",
  // "tmp.wav", "tmp.avi") and sets `copy` to it; `copy` stays empty for other kinds.
  [[nodiscard]] virtual int MakePreviewCopy(const std::filesystem::path& source,
                                            std::filesystem::path& copy,
                                            ProgressCallback callback, void* userData) = 0;
  // Copies `source` to `destination` (creating its folder) in 64 KiB chunks, reporting each.
  [[nodiscard]] virtual int CopyOut(const std::filesystem::path& source,
                                    const std::filesystem::path& destination,
                                    CopyProgressCallback callback, void* userData) = 0;
  // Byte copies of the source's messages and address-book databases. Return 0.
  virtual int CopyMessageDatabase(const std::filesystem::path& destination) = 0;
  virtual int CopyAddressBookDatabase(const std::filesystem::path& destination) = 0;
  // Writes one WhatsApp conversation of the engine's own reading as UTF-8 text.
  [[nodiscard]] virtual int WriteWhatsAppChat(int32_t chatId,
                                              const std::filesystem::path& destination,
                                              CopyProgressCallback callback, void* userData) = 0;
};

}  // namespace salvora
