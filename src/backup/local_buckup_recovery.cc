#include "backup/local_buckup_recovery.h"

#include "backup/backup_reader.h"
#include "core/result_codes.h"

namespace salvora {

int CLocalBuckupRecovery::Attach(BackupReader* reader) {
  reader_ = reader;
  return kOk;
}

int CLocalBuckupRecovery::SetProgressCallback(ProgressCallback callback, void* userData) {
  if (reader_ != nullptr) reader_->SetProgressCallback(callback, userData);
  return kOk;
}

int CLocalBuckupRecovery::Open(const std::u16string& password) {
  return reader_ != nullptr ? reader_->Open(password) : kInvalidParameter;
}
int CLocalBuckupRecovery::ReadMessages(MessageMap& conversations) {
  return reader_ != nullptr ? reader_->ReadMessages(conversations) : kInvalidParameter;
}
int CLocalBuckupRecovery::ReadMessageAttachments(FileList& attachments) {
  return reader_ != nullptr ? reader_->ReadMessageAttachments(attachments) : kInvalidParameter;
}
int CLocalBuckupRecovery::ReadContacts(ContactList& contacts) {
  return reader_ != nullptr ? reader_->ReadContacts(contacts) : kInvalidParameter;
}
int CLocalBuckupRecovery::ReadNotes(NoteList& notes) {
  return reader_ != nullptr ? reader_->ReadNotes(notes) : kInvalidParameter;
}
int CLocalBuckupRecovery::ReadCallHistory(CallList& calls) {
  return reader_ != nullptr ? reader_->ReadCallHistory(calls) : kInvalidParameter;
}
int CLocalBuckupRecovery::ReadPhotos(FileList& cameraRoll, FileList& photoStream) {
  return reader_ != nullptr ? reader_->ReadPhotos(cameraRoll, photoStream) : kInvalidParameter;
}
int CLocalBuckupRecovery::ReadWhatsAppAttachments(FileList& attachments) {
  return reader_ != nullptr ? reader_->ReadWhatsAppAttachments(attachments) : kInvalidParameter;
}
int CLocalBuckupRecovery::ReadAppFiles(AppFileList& appFiles) {
  return reader_ != nullptr ? reader_->ReadAppFiles(appFiles) : kInvalidParameter;
}
int CLocalBuckupRecovery::ReadWhatsApp(ChatMap& chats) {
  return reader_ != nullptr ? reader_->ReadWhatsApp(chats) : kInvalidParameter;
}
int CLocalBuckupRecovery::MakePreviewCopy(const std::filesystem::path& source,
                                          std::filesystem::path& copy, ProgressCallback callback,
                                          void* userData) {
  return reader_ != nullptr ? reader_->MakePreviewCopy(source, copy, callback, userData)
                            : kInvalidParameter;
}
int CLocalBuckupRecovery::CopyOut(const std::filesystem::path& source,
                                  const std::filesystem::path& destination,
                                  CopyProgressCallback callback, void* userData) {
  return reader_ != nullptr ? reader_->CopyOut(source, destination, callback, userData)
                            : kInvalidParameter;
}
int CLocalBuckupRecovery::CopyMessageDatabase(const std::filesystem::path& destination) {
  return reader_ != nullptr ? reader_->CopyMessageDatabase(destination) : kInvalidParameter;
}
int CLocalBuckupRecovery::CopyAddressBookDatabase(const std::filesystem::path& destination) {
  return reader_ != nullptr ? reader_->CopyAddressBookDatabase(destination) : kInvalidParameter;
}
int CLocalBuckupRecovery::WriteWhatsAppChat(int32_t chatId,
                                            const std::filesystem::path& destination,
                                            CopyProgressCallback callback, void* userData) {
  return reader_ != nullptr ? reader_->WriteWhatsAppChat(chatId, destination, callback, userData)
                            : kInvalidParameter;
}

std::unique_ptr<IPhoneRecoveryParse> CreateLocalBackupEngine() {
  return std::make_unique<CLocalBuckupRecovery>();
}

}  // namespace salvora
