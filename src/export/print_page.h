// The print page: the checked records of one database category as one HTML page, built from
// the template "template/Print.html" beside the program and written to the page file that
// the print window shows and prints.
//
// Each record becomes one block "<div>\r\n" ... "</div>\r\n" of labelled paragraphs
// ("<p><span>Name:</span>Ann</p>\r\n"); a WhatsApp chat lists its messages as
// "<p>Me (date): text</p>" paragraphs. Values are escaped as on the export pages, and line
// breaks of contacts and notes become "<br />".
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "core/category_id.h"
#include "core/records.h"

namespace salvora {

// What the body is built from: the scan's row lists and conversation maps (any may be null
// when its category is not printed) and the selection of each row.
struct PrintSource {
  const MessageList* messageRows = nullptr;  // one row per conversation of `messages`
  const MessageMap* messages = nullptr;
  const ContactList* contacts = nullptr;
  const CallList* calls = nullptr;
  const NoteList* notes = nullptr;
  const ChatList* whatsAppRows = nullptr;  // one row per conversation of `whatsApp`
  const ChatMap* whatsApp = nullptr;
  // Whether a row (by its address in its list) is checked; every row is when empty.
  std::function<bool(const void* row)> isSelected;
  // Whether the scan page's list has a current row; a WhatsApp body stays empty without one.
  bool hasCurrentRow = true;
};

// Builds the body for `category` into `body` (UTF-8; replaced). A row is left out when it is
// not selected, and when `deleted_only` is set and its `isDeleted` is 0. `cancelled` is asked
// before each row (before each message for Messages and WhatsApp); when it answers true the
// build ends, `body` is emptied and kStopped (2) is returned. Other categories give an empty
// body. Returns 0.
[[nodiscard]] int BuildPrintBody(CategoryId category, bool deleted_only, const PrintSource& source,
                                 const std::function<bool()>& cancelled, std::string& body);

// The template of the print page, split at "{|content|}".
class PrintPage {
 public:
  // Reads `app_dir` + "template/Print.html" (once). Returns 0 or the errno of the failure. A
  // missing or unreadable template, or one without "{|content|}", leaves a minimal HTML5
  // frame (UTF-8 declared) around the body instead, so the page still shows every record.
  int LoadTemplate(const std::filesystem::path& app_dir);
  // Uses `text` as the template, as LoadTemplate does with the file's bytes.
  void SetTemplate(std::string text);

  [[nodiscard]] const std::string& prefix() const { return prefix_; }
  [[nodiscard]] const std::string& suffix() const { return suffix_; }

  // prefix + body + suffix.
  [[nodiscard]] std::string Compose(std::string_view body) const;

  // Writes the composed page to `page_file`, creating its folder. The old file stays as it
  // was when the new one cannot be written completely. Returns 0 or the errno.
  [[nodiscard]] int Write(const std::filesystem::path& page_file, std::string_view body) const;

 private:
  bool loaded_ = false;
  std::string prefix_;
  std::string suffix_;
};

// The folder "Print" in `app_dir` and the page file in it. The file has the extension
// ".html" so that every browser shows it as a page.
[[nodiscard]] std::filesystem::path PrintFolder(const std::filesystem::path& app_dir);
[[nodiscard]] std::filesystem::path PrintPageFile(const std::filesystem::path& app_dir);

}  // namespace salvora
