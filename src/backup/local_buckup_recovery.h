// The engine for a backup folder on disk: a thin shell over the backup reader, which it
// does not own. Every operation is forwarded to the reader attached with Attach.
#pragma once

#include <memory>

#include "core/iphone_recovery_parse.h"

namespace salvora {

class CLocalBuckupRecovery : public IPhoneRecoveryParse {
 public:
  CLocalBuckupRecovery() = default;
  ~CLocalBuckupRecovery() override = default;  // leaves the reader alone

  int Attach(BackupReader* reader) override;
  int SetProgressCallback(ProgressCallback callback, void* userData) override;
  bool IsLocalBackup(int) override { return true; }

  // Without an attached reader every operation returns kInvalidParameter.
  int Open(const std::u16string& password) override;
  int ReadMessages(MessageMap& conversations) override;
  int ReadMessageAttachments(FileList& attachments) override;
  int ReadContacts(ContactList& contacts) override;
  int ReadNotes(NoteList& notes) override;
  int ReadCallHistory(CallList& calls) override;
  int ReadPhotos(FileList& cameraRoll, FileList& photoStream) override;
  int ReadWhatsAppAttachments(FileList& attachments) override;
  int ReadAppFiles(AppFileList& appFiles) override;
  int ReadWhatsApp(ChatMap& chats) override;
  int MakePreviewCopy(const std::filesystem::path& source, std::filesystem::path& copy,
                      ProgressCallback callback, void* userData) override;
  int CopyOut(const std::filesystem::path& source, const std::filesystem::path& destination,
              CopyProgressCallback callback, void* userData) override;
  int CopyMessageDatabase(const std::filesystem::path& destination) override;
  int CopyAddressBookDatabase(const std::filesystem::path& destination) override;
  int WriteWhatsAppChat(int32_t chatId, const std::filesystem::path& destination,
                        CopyProgressCallback callback, void* userData) override;

 private:
  BackupReader* reader_ = nullptr;
};

// The creator the scan session's engine factory takes for kind 1.
[[nodiscard]] std::unique_ptr<IPhoneRecoveryParse> CreateLocalBackupEngine();

}  // namespace salvora
