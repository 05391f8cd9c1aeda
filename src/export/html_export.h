// The HTML pages of an export: one page per message conversation and per WhatsApp chat,
// and one page each for the contacts, calls and notes of a run.
//
// The five templates lie in "template/" beside the program (CallHistory.html, Notes.html,
// contacts.html, Sms.html, WhatsApp.html; see html_template.h for their contract). A page is
// the template's head (title, and for conversations the person line, in place), the
// generated rows or message blocks, and the tail. Record values are escaped
// (html_fragments.h).
//
// Progress goes to a CopyProgressCallback as (percent, code, page path): a conversation
// reports i * 100 / n after its i-th of n messages, so it finishes with 100; a contact, call
// or note row reports 100 with the path of its category page when it is added.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/progress.h"
#include "core/records.h"
#include "export/html_template.h"

namespace salvora {

class HtmlExport {
 public:
  enum TemplateIndex { kCallHistory, kNotes, kContacts, kMessages, kWhatsApp, kTemplateCount };

  // The template's file name under "template/" and the title prefix of its pages.
  [[nodiscard]] static std::string_view TemplateFile(TemplateIndex index);
  [[nodiscard]] static std::string_view TitlePrefix(TemplateIndex index);

  // Loads the five templates from `app_dir` + "template/" in the order of TemplateIndex, each
  // titled with its prefix and `source_name` (the device or backup name; may be empty). The
  // first failure stops: returns 0, or that template's error (errno, EFBIG, or
  // kInvalidParameter for a template without "{|content|}"); `failed_template` names it.
  [[nodiscard]] int LoadTemplates(const std::filesystem::path& app_dir,
                                  std::u16string_view source_name);
  [[nodiscard]] const std::filesystem::path& failed_template() const { return failed_; }

  // Sets a template's text directly (tests, or templates kept elsewhere). False when it
  // holds no "{|content|}".
  bool SetTemplate(TemplateIndex index, std::string text, std::u16string_view source_name);
  [[nodiscard]] const HtmlTemplate& Template(TemplateIndex index) const {
    return templates_[index];
  }

  // Empties the three row buffers (start of a run).
  void ClearRows();

  // Appends one row and reports (100, 0, page) to `callback`; returns what the callback
  // returned (0 without one).
  int AddContactRow(const ContactRecord& contact, const std::filesystem::path& page,
                    CopyProgressCallback callback, void* user_data);
  int AddCallRow(const CallRecord& call, const std::filesystem::path& page,
                 CopyProgressCallback callback, void* user_data);
  int AddNoteRow(const NoteRecord& note, const std::filesystem::path& page,
                 CopyProgressCallback callback, void* user_data);

  [[nodiscard]] bool has_contacts() const { return !rows_[kContacts].empty(); }
  [[nodiscard]] bool has_calls() const { return !rows_[kCallHistory].empty(); }
  [[nodiscard]] bool has_notes() const { return !rows_[kNotes].empty(); }

  // Writes the page of one message conversation (the messages of `messages` under the row's
  // `handleId`) or one WhatsApp chat (`chats` under `chatId`). A failed open reports
  // (100, errno, page) and returns the errno. When the callback asks to stop, the loop ends,
  // the incomplete page is deleted, (100, value, page) is reported once more and the value is
  // returned. A conversation without messages gives head and tail and no report. A failed
  // write returns its errno after reporting (100, errno, page).
  [[nodiscard]] int WriteMessagePage(const MessageRecord& row, const MessageMap& messages,
                                     const std::filesystem::path& page,
                                     CopyProgressCallback callback, void* user_data) const;
  [[nodiscard]] int WriteChatPage(const ChatRecord& row, const ChatMap& chats,
                                  const std::filesystem::path& page, CopyProgressCallback callback,
                                  void* user_data) const;

  // Writes a category page from its rows; skipped (0) when there are none. Returns 0 or the
  // errno of the failed folder creation, open or write.
  [[nodiscard]] int WriteContactsPage(const std::filesystem::path& page) const;
  [[nodiscard]] int WriteCallHistoryPage(const std::filesystem::path& page) const;
  [[nodiscard]] int WriteNotesPage(const std::filesystem::path& page) const;

 private:
  int AddRow(TemplateIndex index, std::string row, const std::filesystem::path& page,
             CopyProgressCallback callback, void* user_data);
  int WriteCategoryPage(TemplateIndex index, const std::filesystem::path& page) const;
  template <typename Record, typename Block>
  int WriteConversation(TemplateIndex index, const std::string& person,
                        const std::vector<Record>* messages, const std::filesystem::path& page,
                        CopyProgressCallback callback, void* user_data, Block block) const;

  std::array<HtmlTemplate, kTemplateCount> templates_;
  std::array<std::string, kTemplateCount> rows_;
  std::filesystem::path failed_;
};

}  // namespace salvora
