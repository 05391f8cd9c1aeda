#include "export/html_export.h"

#include "core/text.h"
#include "export/html_fragments.h"
#include "export/output_file.h"

namespace salvora {
namespace {

int Report(CopyProgressCallback callback, void* user_data, int percent, int code,
           const std::filesystem::path& path) {
  return callback != nullptr ? callback(user_data, percent, code, path) : 0;
}

}  // namespace

std::string_view HtmlExport::TemplateFile(TemplateIndex index) {
  switch (index) {
    case kCallHistory:
      return "CallHistory.html";
    case kNotes:
      return "Notes.html";
    case kContacts:
      return "contacts.html";
    case kMessages:
      return "Sms.html";
    case kWhatsApp:
      return "WhatsApp.html";
    case kTemplateCount:
      break;
  }
  return {};
}

std::string_view HtmlExport::TitlePrefix(TemplateIndex index) {
  switch (index) {
    case kCallHistory:
      return "iPhone's Call History of ";
    case kNotes:
      return "iPhone's Notes of ";
    case kContacts:
      return "iPhone's Contacts of ";
    case kMessages:
      return "iPhone's Messages of ";
    case kWhatsApp:
      return "iPhone's WhatsApp Messages of ";
    case kTemplateCount:
      break;
  }
  return {};
}

int HtmlExport::LoadTemplates(const std::filesystem::path& app_dir,
                              std::u16string_view source_name) {
  failed_.clear();
  for (int i = 0; i < kTemplateCount; ++i) {
    auto index = static_cast<TemplateIndex>(i);
    std::filesystem::path file = app_dir / "template" / TemplateFile(index);
    std::string title = EscapeHtml8(TitlePrefix(index)) + EscapeHtml(source_name);
    if (int rc = templates_[i].Load(file, title); rc != 0) {
      failed_ = file;
      return rc;
    }
  }
  return 0;
}

bool HtmlExport::SetTemplate(TemplateIndex index, std::string text,
                             std::u16string_view source_name) {
  return templates_[index].SetText(std::move(text),
                                   EscapeHtml8(TitlePrefix(index)) + EscapeHtml(source_name));
}

void HtmlExport::ClearRows() {
  for (std::string& rows : rows_) rows.clear();
}

int HtmlExport::AddRow(TemplateIndex index, std::string row, const std::filesystem::path& page,
                       CopyProgressCallback callback, void* user_data) {
  rows_[index] += row;
  return Report(callback, user_data, 100, 0, page);
}

int HtmlExport::AddContactRow(const ContactRecord& contact, const std::filesystem::path& page,
                              CopyProgressCallback callback, void* user_data) {
  return AddRow(kContacts, ContactRow(contact), page, callback, user_data);
}

int HtmlExport::AddCallRow(const CallRecord& call, const std::filesystem::path& page,
                           CopyProgressCallback callback, void* user_data) {
  return AddRow(kCallHistory, CallRow(call), page, callback, user_data);
}

int HtmlExport::AddNoteRow(const NoteRecord& note, const std::filesystem::path& page,
                           CopyProgressCallback callback, void* user_data) {
  return AddRow(kNotes, NoteRow(note), page, callback, user_data);
}

template <typename Record, typename Block>
int HtmlExport::WriteConversation(TemplateIndex index, const std::string& person,
                                  const std::vector<Record>* messages,
                                  const std::filesystem::path& page, CopyProgressCallback callback,
                                  void* user_data, Block block) const {
  OutputFile file;
  if (int rc = file.Create(page); rc != 0) {
    Report(callback, user_data, 100, rc, page);
    return rc;
  }
  const HtmlTemplate& t = templates_[index];
  file.Write(t.HeadWithPerson(person));
  const int64_t n = messages != nullptr ? static_cast<int64_t>(messages->size()) : 0;
  std::string piece;  // reused for every message
  for (int64_t i = 1; i <= n; ++i) {
    piece.clear();
    block(piece, (*messages)[static_cast<size_t>(i - 1)]);
    file.Write(piece);
    if (i == n) break;  // the last report waits until the page is complete on disk
    if (int stop = Report(callback, user_data, static_cast<int>(i * 100 / n), 0, page); stop != 0) {
      // Stopped by the user: an incomplete page is not left behind.
      file.Remove();
      Report(callback, user_data, 100, stop, page);
      return stop;
    }
  }
  file.Write(t.tail());
  int rc = file.Close();
  // The report of 100 counts the conversation, carrying the result of the whole write; a
  // conversation without messages reports only a failure.
  if (n > 0 || rc != 0) {
    int answer = Report(callback, user_data, 100, rc, page);
    if (rc == 0) return answer;
  }
  return rc;
}

int HtmlExport::WriteMessagePage(const MessageRecord& row, const MessageMap& messages,
                                 const std::filesystem::path& page, CopyProgressCallback callback,
                                 void* user_data) const {
  auto it = messages.find(row.handleId);
  return WriteConversation(
      kMessages, MessagePersonLine(row), it != messages.end() ? &it->second : nullptr, page,
      callback, user_data,
      [](std::string& out, const MessageRecord& m) { AppendMessageBlock(out, m); });
}

int HtmlExport::WriteChatPage(const ChatRecord& row, const ChatMap& chats,
                              const std::filesystem::path& page, CopyProgressCallback callback,
                              void* user_data) const {
  auto it = chats.find(row.chatId);
  return WriteConversation(kWhatsApp, ChatPersonLine(row),
                           it != chats.end() ? &it->second : nullptr, page, callback, user_data,
                           [](std::string& out, const ChatRecord& m) { AppendChatBlock(out, m); });
}

int HtmlExport::WriteCategoryPage(TemplateIndex index, const std::filesystem::path& page) const {
  if (rows_[index].empty()) return 0;
  OutputFile file;
  if (int rc = file.Create(page); rc != 0) return rc;
  file.Write(templates_[index].head());
  file.Write(rows_[index]);
  file.Write(templates_[index].tail());
  return file.Close();
}

int HtmlExport::WriteContactsPage(const std::filesystem::path& page) const {
  return WriteCategoryPage(kContacts, page);
}

int HtmlExport::WriteCallHistoryPage(const std::filesystem::path& page) const {
  return WriteCategoryPage(kCallHistory, page);
}

int HtmlExport::WriteNotesPage(const std::filesystem::path& page) const {
  return WriteCategoryPage(kNotes, page);
}

}  // namespace salvora
