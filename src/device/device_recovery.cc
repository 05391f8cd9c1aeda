#include "device/device_recovery.h"

#include <cstdio>
#include <system_error>

#include "backup/file_copy.h"
#include "backup/fixed_file_ids.h"
#include "backup/manifest_reader.h"
#include "backup/scratch_root.h"
#include "core/app_services.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "device/backup_job.h"
#include "media/content_type.h"
#include "media/file_classifier.h"
#include "media/file_naming.h"
#include "records/call_history_extractor.h"
#include "records/contact_extractor.h"
#include "records/message_extractor.h"
#include "records/note_extractor.h"
#include "records/whatsapp_extractor.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCopyAddressBook = "AddressBook";
constexpr const char* kCopyMessages = "sms";
constexpr const char* kCopyNotes = "notes";
constexpr const char* kCopyNoteStore = "NoteStore";
constexpr const char* kCopyCallHistory = "history";
constexpr const char* kCopyChatStorage = "ChatStorage";

// The WhatsApp chat database: the shared app-group store, else the older store in the app's
// documents.
constexpr const char* kChatStorageId = "7c7fba66680ef796b916b067077cc246adacf01d";
constexpr const char* kChatStorageOlderId = "1b6b187a1b60b9ae8b720c79e2c67f472bab09c0";

constexpr std::string_view kWhatsAppKey = "whatsapp.WhatsApp";
constexpr const char* kDecryptorFolder = "TarnwickBackupPath";

// A stop answer wins over the operation's own result, so that a stop always comes back.
int Combine(int result, int answer) { return answer != 0 ? answer : result; }

void DeleteFilesDirectlyIn(const fs::path& folder) {
  if (folder.empty()) return;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    if (fs::is_directory(it->symlink_status(entryError))) continue;
    fs::remove(it->path(), entryError);
  }
}

void ReplaceWithCopy(const fs::path& source, const fs::path& destination) {
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) return;
  if (destination.has_parent_path()) fs::create_directories(destination.parent_path(), ec);
  fs::copy_file(source, destination, fs::copy_options::overwrite_existing, ec);
}

}  // namespace

CDeviceRecovery::CDeviceRecovery()
    : CDeviceRecovery(DeviceConnection::Instance(), ScratchRoot(), WorkFolder()) {}

CDeviceRecovery::CDeviceRecovery(DeviceConnection& connection, fs::path workingRoot,
                                 fs::path workFolder)
    : connection_(connection),
      workingRoot_(std::move(workingRoot)),
      workFolder_(std::move(workFolder)) {
  std::error_code ec;
  if (!workFolder_.empty()) fs::create_directories(workFolder_, ec);
  CleanWorkArea();
}

CDeviceRecovery::~CDeviceRecovery() {
  CleanWorkArea();
  if (backupFolder_.empty()) return;
  // The backup is scratch data: empty its folder (which stays) and drop the snapshot.
  std::error_code ec;
  for (fs::directory_iterator it(backupFolder_, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    fs::remove_all(it->path(), entryError);
  }
}

void CDeviceRecovery::CleanWorkArea() const {
  DeleteFilesDirectlyIn(workingRoot_);
  if (!workingRoot_.empty()) DeleteFilesDirectlyIn(workingRoot_ / kDecryptorFolder);
  if (!workFolder_.empty()) {
    std::error_code ec;
    for (const char* name : {"tmp.jpg", "tmp.avi", "tmp.wav"}) fs::remove(workFolder_ / name, ec);
  }
}

int CDeviceRecovery::Attach(BackupReader* /*reader*/) {
  progress_.progressBase = 0;
  progress_.progressSpan = 0;
  twoLevel_ = false;
  return kOk;
}

int CDeviceRecovery::SetProgressCallback(ProgressCallback callback, void* userData) {
  progress_.callback = callback;
  progress_.userData = userData;
  return kOk;
}

int CDeviceRecovery::Advance(int share) {
  progress_.progressBase += share;
  return progress_.Report(progress_.progressBase);
}

BackupLayout CDeviceRecovery::Layout() const {
  return BackupLayout{backupFolder_, false, twoLevel_};
}

int CDeviceRecovery::Open(const std::u16string& password) {
  progress_.progressBase = 1;
  progress_.progressSpan = 10;
  if (int answer = progress_.Report(1); answer != 0) return answer;
  if (workingRoot_.empty()) return kInvalidParameter;

  std::error_code ec;
  fs::create_directories(workingRoot_, ec);
  connection_.progressCallback = progress_.callback;
  connection_.progressUserData = progress_.userData;
  connection_.progressWeight = 20;
  connection_.requestFlags = 8;
  std::string devicePassword = Utf16ToUtf8(password);
  int result = RunBackupJob(connection_, workingRoot_, devicePassword);
  for (char& c : devicePassword) c = 0;
  // A backup that left encryption off is complete; the connection's flag tells the user.
  if (result != kOk && result != kBackupEncryptionLeftOff) return result;

  twoLevel_ = connection_.isTwoLevelLayout != 0;
  backupFolder_ = connection_.backupDir;
  MakeDatabaseCopies();

  progress_.progressBase = 20;
  return progress_.Report(20);
}

void CDeviceRecovery::MakeDatabaseCopies() const {
  BackupLayout layout = Layout();
  auto source = [&layout](const std::string& id) { return FilePathOfId(layout, id); };
  auto firstPresent = [&](const std::string& id, const std::string& fallback) {
    std::error_code ec;
    fs::path path = source(id);
    return fs::exists(path, ec) ? path : source(fallback);
  };
  ReplaceWithCopy(source(FixedFileId(FixedFile::kAddressBook)), CopyPath(kCopyAddressBook));
  ReplaceWithCopy(source(FixedFileId(FixedFile::kMessages)), CopyPath(kCopyMessages));
  ReplaceWithCopy(source(FixedFileId(FixedFile::kNotesOlder)), CopyPath(kCopyNotes));
  ReplaceWithCopy(source(FixedFileId(FixedFile::kNotesNewer)), CopyPath(kCopyNoteStore));
  ReplaceWithCopy(
      firstPresent(FixedFileId(FixedFile::kCallHistory), FixedFileId(FixedFile::kCallHistoryOlder)),
      CopyPath(kCopyCallHistory));
  ReplaceWithCopy(firstPresent(kChatStorageId, kChatStorageOlderId), CopyPath(kCopyChatStorage));
}

int CDeviceRecovery::ReadBackupManifest(ManifestIndex& index) const {
  index.clear();
  if (backupFolder_.empty()) return kInvalidParameter;
  ManifestChoice choice;
  choice.isManifestDb = twoLevel_;
  choice.twoLevel = twoLevel_;
  choice.file = backupFolder_ / (twoLevel_ ? "Manifest.db" : "Manifest.mbdb");
  std::error_code ec;
  if (!fs::exists(choice.file, ec)) return kInvalidParameter;
  return ReadManifest(choice, index);
}

int CDeviceRecovery::ReadPhotos(FileList& cameraRoll, FileList& photoStream) {
  ManifestIndex index;
  if (int rc = ReadBackupManifest(index); rc == kInvalidParameter) return rc;
  BackupLayout layout = Layout();
  auto pathOf = [&layout](const ManifestEntry& e) { return FilePathOfId(layout, e.fileId); };
  FileList roll;
  FileList stream;
  WalkProgress walk{progress_.callback, progress_.userData, progress_.progressBase,
                    2 * progress_.progressSpan};
  int rc = ClassifyPhotos(index, pathOf, walk, roll, stream);
  SortFilesByName(roll);
  SortFilesByName(stream);
  cameraRoll.insert(cameraRoll.end(), roll.begin(), roll.end());
  photoStream.insert(photoStream.end(), stream.begin(), stream.end());
  if (rc != kOk) return rc;
  (void)Advance(2 * progress_.progressSpan);  // the walk's result stands
  return rc;
}

int CDeviceRecovery::ReadMessages(MessageMap& conversations) {
  MessageExtractor extractor(progress_);
  int rc = extractor.Run(CopyPath(kCopyMessages).string(), CopyPath(kCopyAddressBook).string(),
                         conversations);
  if (rc == kStopped) return rc;
  return Combine(rc, Advance(progress_.progressSpan / 2));
}

int CDeviceRecovery::ReadMessageAttachments(FileList& attachments) {
  ManifestIndex index;
  if (int rc = ReadBackupManifest(index); rc == kInvalidParameter) return rc;
  BackupLayout layout = Layout();
  auto pathOf = [&layout](const ManifestEntry& e) { return FilePathOfId(layout, e.fileId); };
  FileList found;
  WalkProgress walk{progress_.callback, progress_.userData, progress_.progressBase,
                    progress_.progressSpan};
  int rc = ClassifyMessageAttachments(index, pathOf, walk, found);
  SortFilesByName(found);
  attachments.insert(attachments.end(), found.begin(), found.end());
  if (rc != kOk) return rc;
  (void)Advance(progress_.progressSpan);  // the walk's result stands
  return rc;
}

int CDeviceRecovery::ReadContacts(ContactList& contacts) {
  ContactExtractor extractor(progress_);
  int rc = extractor.Run(CopyPath(kCopyAddressBook).string(), contacts);
  return Combine(rc, Advance(progress_.progressSpan / 2));
}

int CDeviceRecovery::ReadCallHistory(CallList& calls) {
  CallHistoryExtractor extractor(progress_);
  int rc = extractor.Run(CopyPath(kCopyCallHistory).string(), CopyPath(kCopyAddressBook).string(),
                         calls);
  return Combine(rc, Advance(progress_.progressSpan / 2));
}

int CDeviceRecovery::ReadNotes(NoteList& notes) {
  NoteExtractor extractor(progress_);
  int rc = extractor.RunOlderStore(CopyPath(kCopyNotes).string(), notes);
  // Phones since iOS 9 keep their notes in the newer store only.
  if (notes.empty()) rc = extractor.RunNewerStore(CopyPath(kCopyNoteStore).string(), notes);
  return Combine(rc, Advance(progress_.progressSpan / 2));
}

int CDeviceRecovery::ReadAppFiles(AppFileList& appFiles) {
  ManifestIndex index;
  if (int rc = ReadBackupManifest(index); rc == kInvalidParameter) return rc;
  BackupLayout layout = Layout();
  auto pathOf = [&layout](const ManifestEntry& e) { return FilePathOfId(layout, e.fileId); };
  AppFileList found;
  FileList whatsApp;  // this engine walks for the WhatsApp files itself
  WalkProgress walk{progress_.callback, progress_.userData, progress_.progressBase,
                    2 * progress_.progressSpan};
  AppFileRules rules;
  rules.appKey = "AppDomain";
  rules.reportMissingFiles = false;
  int rc = ClassifyAppFiles(index, pathOf, walk, found, whatsApp, rules);
  SortAppFilesByFileName(found);
  appFiles.insert(appFiles.end(), found.begin(), found.end());
  if (rc != kOk) return rc;
  return Advance(2 * progress_.progressSpan);
}

int CDeviceRecovery::ReadWhatsApp(ChatMap& chats) {
  WhatsAppExtractor extractor(progress_);
  int rc = extractor.Run(CopyPath(kCopyChatStorage).string(), chats);
  return Combine(rc, Advance(progress_.progressSpan));
}

int CDeviceRecovery::ReadWhatsAppAttachments(FileList& attachments) {
  attachments.clear();
  ManifestIndex index;
  if (ReadBackupManifest(index) == kInvalidParameter) return kOk;
  BackupLayout layout = Layout();
  FileList found;
  const int64_t n = static_cast<int64_t>(index.size());
  int64_t reports = 0;
  int rc = kOk;
  for (const ManifestEntry& entry : index) {
    if (entry.key.find(kWhatsAppKey) != std::string::npos) {
      FileProbe probe = ProbeFile(FilePathOfId(layout, entry.fileId));
      if (!probe.exists()) continue;  // a missing file makes no report
      if (probe.typed() && probe.size > 0) {
        found.push_back(FileRecord{static_cast<uint32_t>(probe.size),
                                   DisplayName(entry.key, probe.type),
                                   FilePathOfId(layout, entry.fileId)});
      }
    }
    rc = progress_.Report(
        PerItemPercent(progress_.progressBase, progress_.progressSpan, ++reports, n));
    if (rc != kOk) break;
  }
  SortFilesByName(found);
  attachments = std::move(found);
  if (rc != kOk) return rc;
  return Advance(progress_.progressSpan);
}

int CDeviceRecovery::MakePreviewCopy(const fs::path& source, fs::path& copy,
                                     ProgressCallback callback, void* userData) {
  return MakePreviewCopyIn(workFolder_, source, copy, callback, userData);
}

int CDeviceRecovery::CopyOut(const fs::path& source, const fs::path& destination,
                             CopyProgressCallback callback, void* userData) {
  return CopyFileOut(source, destination, callback, userData);
}

int CDeviceRecovery::CopyMessageDatabase(const fs::path& destination) {
  ReplaceWithCopy(CopyPath(kCopyMessages), destination);
  return kOk;
}

int CDeviceRecovery::CopyAddressBookDatabase(const fs::path& destination) {
  ReplaceWithCopy(CopyPath(kCopyAddressBook), destination);
  return kOk;
}

int CDeviceRecovery::WriteWhatsAppChat(int32_t chatId, const fs::path& destination,
                                       CopyProgressCallback callback, void* userData) {
  ChatMap chats;
  int rc = WhatsAppExtractor().Run(CopyPath(kCopyChatStorage).string(), chats);
  if (rc != kOk && chats.empty()) return rc;
  std::error_code ec;
  if (destination.has_parent_path()) fs::create_directories(destination.parent_path(), ec);
  std::FILE* out = std::fopen(destination.c_str(), "wb");
  if (out == nullptr) {
    if (callback != nullptr) callback(userData, 100, kInvalidParameter, destination);
    return kInvalidParameter;
  }
  auto it = chats.find(chatId);
  const size_t count = it == chats.end() ? 0 : it->second.size();
  int code = kOk;
  for (size_t i = 0; i < count && code == kOk; ++i) {
    const ChatRecord& m = it->second[i];
    std::string line =
        Utf16ToUtf8(m.date) + " " + Utf16ToUtf8(m.senderName) + ": " + Utf16ToUtf8(m.text) + "\n";
    std::fwrite(line.data(), 1, line.size(), out);
    if (callback != nullptr) {
      code = callback(userData, static_cast<int>((i + 1) * 100 / count), kOk, destination);
    }
  }
  std::fclose(out);
  return code;
}

std::unique_ptr<IPhoneRecoveryParse> CreateDeviceEngine() {
  return std::make_unique<CDeviceRecovery>();
}

}  // namespace salvora
