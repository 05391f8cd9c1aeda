#include "export/recover_job.h"

#include <unistd.h>

#include <cstdio>
#include <system_error>

#include "core/format.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "export/output_file.h"
#include "export/output_layout.h"
#include "export/text_export.h"

namespace salvora {

std::u16string RecoverErrorText(int code) {
  switch (code) {
    case kOk:
      return u"Success";
    case kInvalidParameter:
      return u"The file cannot be opened or the path is invalid.";
    case kShortRead:
      return u"The file could not be read to its end.";
    case kStopped:
      return u"Stopped by the user.";
    default:
      break;
  }
  std::string text = code > 0 ? std::generic_category().message(code) : std::string("Error");
  char number[32];
  std::snprintf(number, sizeof number, " (error %d)", code);
  return Utf8ToUtf16(text + number);
}

std::u16string FormatRecoveredText(std::u16string_view format, const RecoverCounts& c) {
  return FormatText(format, {FormatArg(int64_t{c.done}), FormatArg(int64_t{c.total}),
                             FormatArg(int64_t{c.done - c.failed}), FormatArg(int64_t{c.failed})});
}

std::u16string FormatPercentText(std::u16string_view prefix, int percent) {
  return FormatText(u"%s %d%%", {FormatArg(std::u16string(prefix)), FormatArg(int64_t{percent})});
}

RecoverJob::RecoverJob(std::filesystem::path output_root, RecoverSource source,
                       IRecoverObserver* observer)
    : root_(std::move(output_root)), source_(std::move(source)), observer_(observer) {}

RecoverJob::~RecoverJob() {
  if (worker_.joinable()) worker_.join();
}

int RecoverJob::LoadTemplates(const std::filesystem::path& app_dir) {
  return html_.LoadTemplates(app_dir, source_.sourceName);
}

void RecoverJob::Start() {
  worker_ = std::thread([this] { Run(); });
}

void RecoverJob::Pause() { lock_.lock(); }
void RecoverJob::Resume() { lock_.unlock(); }

void RecoverJob::CancelWhilePaused() {
  cancelled_.store(true);
  lock_.unlock();
}

void RecoverJob::Cancel() {
  Pause();
  CancelWhilePaused();
}

void RecoverJob::Wait() {
  if (worker_.joinable()) {
    worker_.join();
    return;
  }
  // Run on another thread by the caller: poll as the window does.
  while (!finished_.load()) ::usleep(50 * 1000);
}

RecoverCounts RecoverJob::Counts() const {
  return RecoverCounts{done_.load(), failed_.load(), total_.load()};
}

std::u16string RecoverJob::stamp() const {
  std::lock_guard<std::mutex> data(data_lock_);
  return stamp_;
}

std::vector<RecoverDetailRow> RecoverJob::DetailRows() const {
  std::lock_guard<std::mutex> data(data_lock_);
  std::vector<RecoverDetailRow> rows(failed_rows_.rbegin(), failed_rows_.rend());
  rows.insert(rows.end(), succeeded_rows_.begin(), succeeded_rows_.end());
  return rows;
}

int RecoverJob::OnReport(void* user_data, int percent, int code,
                         const std::filesystem::path& path) {
  return static_cast<RecoverJob*>(user_data)->Report(percent, code, path);
}

int RecoverJob::Report(int percent, int code, const std::filesystem::path& path) {
  std::lock_guard<std::mutex> report(lock_);
  if (cancelled_.load()) return kStopped;
  if (percent >= 100 && !item_counted_) {
    item_counted_ = true;
    RecoverDetailRow row{path, RecoverErrorText(code), code, code != 0};
    ++done_;
    if (code != 0) ++failed_;
    if (observer_ != nullptr) observer_->OnRecoverItem(row);
    std::lock_guard<std::mutex> data(data_lock_);
    (code != 0 ? failed_rows_ : succeeded_rows_).push_back(std::move(row));
  }
  if (observer_ != nullptr) observer_->OnRecoverProgress(percent, path, Counts());
  return 0;
}

void RecoverJob::EndItem(int code, const std::filesystem::path& path) {
  // A stop is no failure of the item: the user asked for it, and no row is shown for it.
  if (!item_counted_ && code != kStopped) (void)Report(100, code, path);
}

void RecoverJob::Run() {
  {
    std::lock_guard<std::mutex> data(data_lock_);
    stamp_ = RunStampNow();
    failed_rows_.clear();
    succeeded_rows_.clear();
  }
  html_.ClearRows();
  messages_written_ = false;
  message_rows_.clear();
  contacts_.clear();
  done_ = 0;
  failed_ = 0;
  const CStatisticsObj* stats = source_.statistics;
  total_ = stats != nullptr ? static_cast<int32_t>(stats->Root().selected) : 0;

  if (stats != nullptr && source_.engine != nullptr) {
    const size_t count = stats->EntryCount();
    for (size_t i = 0; i < count && !cancelled_.load(); ++i) {
      StatKey key = static_cast<StatKey>(i);
      StatEntry entry = stats->Entry(key);
      // Records only (not their containers), checked and not hidden by the deleted-only
      // filter; deleted records go out like live ones.
      if (entry.group || !entry.selected || entry.hidden) continue;
      item_counted_ = false;
      ExportEntry(key, entry);
    }
    WriteCategoryFiles();
  }

  if (observer_ != nullptr) {
    std::lock_guard<std::mutex> report(lock_);
    observer_->OnRecoverFinished(Counts(), cancelled_.load());
  }
  finished_.store(true);
}

void RecoverJob::ExportEntry(StatKey key, const StatEntry& entry) {
  const CStatisticsObj& stats = *source_.statistics;
  switch (entry.category) {
    case CategoryId::CameraRoll:
    case CategoryId::PhotoStream:
    case CategoryId::MessageAttachments:
    case CategoryId::WhatsAppAttachments:
      if (const FileRecord* file = stats.FileAt(key)) {
        CopyFile(file->path, UniquePath(FileDestination(root_, entry.category, *file)));
      }
      break;
    case CategoryId::AppPhotos:
    case CategoryId::AppVideos:
      if (const AppFileRecord* file = stats.AppFileAt(key)) {
        // A folder that cannot be made shows up as the copy's failure.
        (void)CreateFolders(AppFolder(root_, entry.category, *file));
        CopyFile(file->path, UniquePath(AppFileDestination(root_, entry.category, *file)));
      }
      break;
    case CategoryId::Messages:
      if (const MessageRecord* row = stats.MessageRowAt(key)) ExportConversation(*row);
      break;
    case CategoryId::Contacts:
      if (const ContactRecord* contact = stats.ContactAt(key)) {
        contacts_.push_back(contact);
        std::filesystem::path page = ContactsPagePath(root_, stamp());
        EndItem(html_.AddContactRow(*contact, page, &OnReport, this), page);
      }
      break;
    case CategoryId::CallHistory:
      if (const CallRecord* call = stats.CallAt(key)) {
        std::filesystem::path page = CallHistoryPagePath(root_, stamp());
        EndItem(html_.AddCallRow(*call, page, &OnReport, this), page);
      }
      break;
    case CategoryId::Notes:
      if (const NoteRecord* note = stats.NoteAt(key)) {
        std::filesystem::path page = NotesPagePath(root_, stamp());
        EndItem(html_.AddNoteRow(*note, page, &OnReport, this), page);
      }
      break;
    case CategoryId::WhatsApp:
      if (const ChatRecord* row = stats.ChatRowAt(key)) ExportChat(*row);
      break;
  }
}

void RecoverJob::CopyFile(const std::filesystem::path& source,
                          const std::filesystem::path& destination) {
  int rc = source_.engine->CopyOut(source, destination, &OnReport, this);
  if (rc == kStopped && cancelled_.load()) {
    // The unique path was free before the copy, so what is there now is the copy's own
    // incomplete file.
    std::error_code ec;
    std::filesystem::remove(destination, ec);
    return;
  }
  EndItem(rc, destination);
}

void RecoverJob::ExportConversation(const MessageRecord& row) {
  const MessageMap& messages = source_.messages != nullptr ? *source_.messages : empty_messages_;
  messages_written_ = true;
  message_rows_.push_back(&row);
  ConversationPaths paths = MessageConversationPaths(root_, row, stamp());
  (void)CreateFolders(paths.folder);  // a failure shows up as the page's
  // A transcript that cannot be written is not reported; the page is the item.
  (void)WriteMessageTranscript(row, messages, paths.transcript);
  EndItem(html_.WriteMessagePage(row, messages, paths.page, &OnReport, this), paths.page);
}

void RecoverJob::ExportChat(const ChatRecord& row) {
  const ChatMap& chats = source_.whatsApp != nullptr ? *source_.whatsApp : empty_chats_;
  ConversationPaths paths = WhatsAppChatPaths(root_, row, stamp());
  (void)CreateFolders(paths.folder);
  (void)WriteWhatsAppTranscript(row, chats, paths.transcript);
  (void)WriteWhatsAppTable(row, chats, paths.table);
  EndItem(html_.WriteChatPage(row, chats, paths.page, &OnReport, this), paths.page);
}

void RecoverJob::WriteCategoryFiles() {
  // Results of this step are not shown: every item in these files was already counted.
  const std::u16string run_stamp = stamp();
  if (messages_written_) {
    const MessageMap& messages = source_.messages != nullptr ? *source_.messages : empty_messages_;
    (void)WriteMessagesTable(message_rows_, messages, MessagesTablePath(root_));
    (void)source_.engine->CopyMessageDatabase(MessagesDatabaseCopyPath(root_));
  }
  if (html_.has_calls()) (void)html_.WriteCallHistoryPage(CallHistoryPagePath(root_, run_stamp));
  if (html_.has_notes()) (void)html_.WriteNotesPage(NotesPagePath(root_, run_stamp));
  if (html_.has_contacts()) {
    (void)CreateFolders(ContactsFolder(root_, run_stamp));
    (void)WriteContactsTable(contacts_, ContactsTablePath(root_, run_stamp));
    (void)source_.engine->CopyAddressBookDatabase(AddressBookCopyPath(root_, run_stamp));
    (void)html_.WriteContactsPage(ContactsPagePath(root_, run_stamp));
  }
}

}  // namespace salvora
