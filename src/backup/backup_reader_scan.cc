// The backup reader's side of a scan: Open, the category operations and the file
// operations that preview and export use afterwards.
#include <algorithm>
#include <cstdio>
#include <system_error>

#include "backup/backup_reader.h"
#include "backup/decryptor_supervisor.h"
#include "backup/file_copy.h"
#include "backup/fixed_file_ids.h"
#include "backup/manifest_reader.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "media/file_classifier.h"
#include "records/call_history_extractor.h"
#include "records/contact_extractor.h"
#include "records/message_extractor.h"
#include "records/note_extractor.h"
#include "records/whatsapp_extractor.h"

namespace salvora {
namespace {

// The WhatsApp chat database has no fixed id: the first manifest entry whose key holds this.
constexpr std::string_view kWhatsAppDatabaseKey = "ChatStorage.sqlite";

// A stop answer wins over the operation's own result, so that a stop always comes back.
int Combine(int result, int answer) { return answer != 0 ? answer : result; }

std::string Utf8Path(const std::filesystem::path& path) { return path.string(); }

}  // namespace

void BackupReader::SetProgressCallback(ProgressCallback callback, void* userData) {
  progress_.callback = callback;
  progress_.userData = userData;
}

int BackupReader::Advance(int share) {
  progress_.progressBase += share;
  return progress_.Report(progress_.progressBase);
}

std::filesystem::path BackupReader::DecryptedFolder() const {
  return scratch_root_ / kDecryptorOutputFolderName;
}

std::string BackupReader::DatabasePath(const std::string& fileId) const {
  return Utf8Path(FilePathOfId(layout_, fileId));
}

void BackupReader::CleanUp() {
  std::error_code ec;
  if (!scratch_root_.empty()) {
    // Only the files directly inside the decryptor's output folder are ours to delete.
    for (const auto& entry : std::filesystem::directory_iterator(DecryptedFolder(), ec)) {
      std::error_code file_ec;
      if (entry.is_regular_file(file_ec) || entry.is_symlink(file_ec)) {
        std::filesystem::remove(entry.path(), file_ec);
      }
    }
  }
  decrypted_files_.clear();
  if (!work_folder_.empty()) {
    for (const char* name : {"tmp.jpg", "tmp.avi", "tmp.wav"}) {
      std::filesystem::remove(work_folder_ / name, ec);
    }
  }
}

int BackupReader::Open(const std::u16string& password) {
  progress_.progressBase = 0;
  progress_.progressSpan = 11;
  if (int answer = progress_.Report(0); answer != 0) return answer;

  index_.clear();
  decrypted_files_.clear();
  whatsapp_attachments_.clear();
  ManifestChoice choice;
  int chosen = ChooseManifest(current_folder_, choice);
  layout_ = BackupLayout{current_folder_, false, choice.twoLevel};

  std::filesystem::path decrypted;
  if (current_.isEncrypted != 0) {
    progress_.progressSpan = 10;
    int rc = DecryptBackup(progress_, current_folder_, DecryptedFolder(), work_folder_,
                           program_folder_, password, decrypted_files_);
    if (rc != kOk) return rc;
    decrypted = DecryptedFolder();
    // The decryptor has written "Manifest.db-decypted" by now: choose again.
    chosen = ChooseManifest(current_folder_, choice);
  } else {
    progress_.progressBase = 1;
    if (int answer = progress_.Report(1); answer != 0) return answer;
  }

  int result = chosen == kOk ? ReadManifest(choice, index_) : chosen;

  if (!decrypted.empty()) {
    current_folder_ = decrypted;
    current_.folderPath = decrypted;
    layout_ = BackupLayout{decrypted, true, choice.twoLevel};
  }
  return Combine(result, Advance(progress_.progressSpan));
}

int BackupReader::ReadPhotos(FileList& cameraRoll, FileList& photoStream) {
  FileList roll;
  FileList stream;
  WalkProgress walk{progress_.callback, progress_.userData, progress_.progressBase,
                    2 * progress_.progressSpan};
  auto path_of = [this](const ManifestEntry& e) { return FilePathOfId(layout_, e.fileId); };
  int rc = ClassifyPhotos(index_, path_of, walk, roll, stream);
  SortFilesByName(roll);
  SortFilesByName(stream);
  cameraRoll.insert(cameraRoll.end(), roll.begin(), roll.end());
  photoStream.insert(photoStream.end(), stream.begin(), stream.end());
  if (rc != kOk) return rc;
  return Advance(2 * progress_.progressSpan);
}

int BackupReader::ReadMessages(MessageMap& conversations) {
  MessageExtractor extractor(progress_);
  int rc = extractor.Run(DatabasePath(FixedFileId(FixedFile::kMessages)),
                         DatabasePath(FixedFileId(FixedFile::kAddressBook)), conversations);
  if (rc == kStopped) return rc;
  return Combine(rc, Advance(progress_.progressSpan / 2));
}

int BackupReader::ReadMessageAttachments(FileList& attachments) {
  FileList found;
  WalkProgress walk{progress_.callback, progress_.userData, progress_.progressBase,
                    progress_.progressSpan};
  auto path_of = [this](const ManifestEntry& e) { return FilePathOfId(layout_, e.fileId); };
  int rc = ClassifyMessageAttachments(index_, path_of, walk, found);
  SortFilesByName(found);
  attachments.insert(attachments.end(), found.begin(), found.end());
  if (rc != kOk) return rc;
  return Advance(progress_.progressSpan);
}

int BackupReader::ReadContacts(ContactList& contacts) {
  ContactExtractor extractor(progress_);
  int rc = extractor.Run(DatabasePath(FixedFileId(FixedFile::kAddressBook)), contacts);
  return Combine(rc, Advance(progress_.progressSpan / 2));
}

int BackupReader::ReadCallHistory(CallList& calls) {
  std::error_code ec;
  std::string current = DatabasePath(FixedFileId(FixedFile::kCallHistory));
  std::string path = std::filesystem::exists(current, ec)
                         ? current
                         : DatabasePath(FixedFileId(FixedFile::kCallHistoryOlder));
  CallHistoryExtractor extractor(progress_);
  int rc = extractor.Run(path, DatabasePath(FixedFileId(FixedFile::kAddressBook)), calls);
  return Combine(rc, Advance(progress_.progressSpan / 2));
}

int BackupReader::ReadNotes(NoteList& notes) {
  NoteExtractor extractor(progress_);
  int rc = extractor.RunOlderStore(DatabasePath(FixedFileId(FixedFile::kNotesOlder)), notes);
  if (notes.empty()) {
    rc = extractor.RunNewerStore(DatabasePath(FixedFileId(FixedFile::kNotesNewer)), notes);
  }
  return Combine(rc, Advance(progress_.progressSpan / 2));
}

int BackupReader::ReadAppFiles(AppFileList& appFiles) {
  AppFileList found;
  whatsapp_attachments_.clear();
  WalkProgress walk{progress_.callback, progress_.userData, progress_.progressBase,
                    2 * progress_.progressSpan};
  auto path_of = [this](const ManifestEntry& e) { return FilePathOfId(layout_, e.fileId); };
  int rc = ClassifyAppFiles(index_, path_of, walk, found, whatsapp_attachments_);
  SortAppFilesByFileName(found);
  SortFilesByName(whatsapp_attachments_);
  appFiles.insert(appFiles.end(), found.begin(), found.end());
  if (rc != kOk) return rc;
  return Advance(progress_.progressSpan);
}

int BackupReader::ReadWhatsApp(ChatMap& chats) {
  std::string path;
  for (const ManifestEntry& entry : index_) {
    if (entry.key.find(kWhatsAppDatabaseKey) != std::string::npos) {
      path = Utf8Path(FilePathOfId(layout_, entry.fileId));
      break;
    }
  }
  WhatsAppExtractor extractor(progress_);
  int rc = extractor.Run(path, chats);
  return Combine(rc, Advance(progress_.progressSpan));
}

int BackupReader::ReadWhatsAppAttachments(FileList& attachments) {
  attachments = whatsapp_attachments_;
  return Advance(progress_.progressSpan);
}

int BackupReader::MakePreviewCopy(const std::filesystem::path& source, std::filesystem::path& copy,
                                  ProgressCallback callback, void* userData) const {
  return MakePreviewCopyIn(work_folder_, source, copy, callback, userData);
}

int BackupReader::CopyOut(const std::filesystem::path& source,
                          const std::filesystem::path& destination, CopyProgressCallback callback,
                          void* userData) const {
  return CopyFileOut(source, destination, callback, userData);
}

namespace {

int CopyDatabase(const std::filesystem::path& source, const std::filesystem::path& destination) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(source, ec)) return kOk;
  if (destination.has_parent_path()) {
    std::filesystem::create_directories(destination.parent_path(), ec);
  }
  std::filesystem::copy_file(source, destination,
                             std::filesystem::copy_options::overwrite_existing, ec);
  return kOk;
}

}  // namespace

int BackupReader::CopyMessageDatabase(const std::filesystem::path& destination) const {
  return CopyDatabase(FilePathOfId(layout_, FixedFileId(FixedFile::kMessages)), destination);
}

int BackupReader::CopyAddressBookDatabase(const std::filesystem::path& destination) const {
  return CopyDatabase(FilePathOfId(layout_, FixedFileId(FixedFile::kAddressBook)), destination);
}

int BackupReader::WriteWhatsAppChat(int32_t chatId, const std::filesystem::path& destination,
                                    CopyProgressCallback callback, void* userData) const {
  std::string path;
  for (const ManifestEntry& entry : index_) {
    if (entry.key.find(kWhatsAppDatabaseKey) != std::string::npos) {
      path = Utf8Path(FilePathOfId(layout_, entry.fileId));
      break;
    }
  }
  ChatMap chats;
  int rc = WhatsAppExtractor().Run(path, chats);
  if (rc != kOk && chats.empty()) return rc;
  std::error_code ec;
  if (destination.has_parent_path()) {
    std::filesystem::create_directories(destination.parent_path(), ec);
  }
  std::FILE* out = std::fopen(destination.c_str(), "wb");
  if (out == nullptr) {
    if (callback != nullptr) callback(userData, 100, kInvalidParameter, destination);
    return kInvalidParameter;
  }
  auto it = chats.find(chatId);
  const size_t n = it == chats.end() ? 0 : it->second.size();
  int code = kOk;
  for (size_t i = 0; i < n && code == kOk; ++i) {
    const ChatRecord& m = it->second[i];
    std::string line = Utf16ToUtf8(m.date) + " " + Utf16ToUtf8(m.senderName) + ": " +
                       Utf16ToUtf8(m.text) + "\n";
    std::fwrite(line.data(), 1, line.size(), out);
    if (callback != nullptr) {
      code = callback(userData, static_cast<int>((i + 1) * 100 / n), kOk, destination);
    }
  }
  std::fclose(out);
  return code;
}

}  // namespace salvora
