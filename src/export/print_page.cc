#include "export/print_page.h"

#include "core/result_codes.h"
#include "export/html_fragments.h"
#include "export/html_template.h"
#include "export/output_file.h"
#include "export/text_export.h"

namespace salvora {
namespace {

constexpr size_t kMaxTemplateBytes = 16u << 20;

// Used when the template cannot be read: the page still declares its encoding, so names in
// any script show correctly.
constexpr std::string_view kFramePrefix =
    "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>Print</title>\r\n"
    "</head>\r\n<body>\r\n";
constexpr std::string_view kFrameSuffix = "</body>\r\n</html>\r\n";

void Line(std::string& out, std::string_view label, const std::string& escaped) {
  out += "<p><span>";
  out += label;
  out += "</span>";
  out += escaped;
  out += "</p>\r\n";
}

class Builder {
 public:
  Builder(bool deleted_only, const PrintSource& source, const std::function<bool()>& cancelled,
          std::string& body)
      : deleted_only_(deleted_only), source_(source), cancelled_(cancelled), body_(body) {}

  // Each builder returns false when the build was cancelled.
  template <typename Row>
  bool Skip(const Row& row) const {
    if (deleted_only_ && row.isDeleted == 0) return true;
    return source_.isSelected && !source_.isSelected(&row);
  }
  bool Cancelled() const { return cancelled_ && cancelled_(); }

  bool Messages() {
    if (source_.messageRows == nullptr) return true;
    for (const MessageRecord& row : *source_.messageRows) {
      if (Skip(row) || source_.messages == nullptr) continue;
      auto it = source_.messages->find(row.handleId);
      if (it == source_.messages->end()) continue;
      for (const MessageRecord& m : it->second) {
        if (Cancelled()) return false;
        body_ += "<div>\r\n";
        Line(body_, m.isFromMe != 0 ? "To:" : "From:", EscapeHtml(TranscriptParty(m)));
        Line(body_, "Date:", EscapeHtml(m.date));
        Line(body_, "Content:", EscapeHtml(m.text));
        body_ += "</div>\r\n";
      }
    }
    return true;
  }

  bool Contacts() {
    if (source_.contacts == nullptr) return true;
    for (const ContactRecord& c : *source_.contacts) {
      if (Cancelled()) return false;
      if (Skip(c)) continue;
      body_ += "<div>\r\n";
      Line(body_, "Name:", EscapeHtmlLines(c.name));
      Line(body_, "Phone Number:", EscapeHtmlLines(c.phone));
      Line(body_, "Company:", EscapeHtmlLines(c.organization));
      Line(body_, "Email:", EscapeHtmlLines(c.email));
      Line(body_, "URL:", EscapeHtmlLines(c.url));
      body_ += "</div>\r\n";
    }
    return true;
  }

  bool Calls() {
    if (source_.calls == nullptr) return true;
    for (const CallRecord& c : *source_.calls) {
      if (Cancelled()) return false;
      if (Skip(c)) continue;
      body_ += "<div>\r\n";
      Line(body_, "Name:", EscapeHtml(c.contactName));
      Line(body_, "Phone Number:", EscapeHtml(c.address));
      Line(body_, "Date:", EscapeHtml(c.date));
      Line(body_, "Type:", EscapeHtml(CallTypeText(c)));
      Line(body_, "Duration:", EscapeHtml(CallDurationText(c)));
      body_ += "</div>\r\n";
    }
    return true;
  }

  bool Notes() {
    if (source_.notes == nullptr) return true;
    for (const NoteRecord& n : *source_.notes) {
      if (Cancelled()) return false;
      if (Skip(n)) continue;
      body_ += "<div>\r\n";
      Line(body_, "Title:", EscapeHtmlLines(n.title));
      Line(body_, "Date:", EscapeHtml(n.date));
      Line(body_, "Notes:", EscapeHtmlLines(n.content));
      body_ += "</div>\r\n";
    }
    return true;
  }

  bool WhatsApp() {
    if (source_.whatsAppRows == nullptr || !source_.hasCurrentRow) return true;
    for (const ChatRecord& row : *source_.whatsAppRows) {
      if (Skip(row)) continue;
      body_ += "<div>\r\n";
      Line(body_, "Chats:", EscapeHtml(row.chatName));
      Line(body_, "Name:", EscapeHtml(row.memberNames.empty() ? row.senderName : row.memberNames));
      Line(body_,
           "Phone Number:", EscapeHtml(row.memberJids.empty() ? row.pushName : row.memberJids));
      body_ += "<p><span>Content:</span></p>\r\n";
      if (source_.whatsApp != nullptr) {
        if (auto it = source_.whatsApp->find(row.chatId); it != source_.whatsApp->end()) {
          for (const ChatRecord& m : it->second) {
            if (Cancelled()) return false;
            body_ += "<p>";
            body_ += m.isFromMe != 0 ? std::string("Me") : EscapeHtml(m.senderName);
            body_ += " (";
            body_ += EscapeHtml(m.date);
            body_ += "): ";
            body_ += EscapeHtml(m.text);
            body_ += "</p>";
          }
        }
      }
      body_ += "</div>\r\n";
    }
    return true;
  }

 private:
  bool deleted_only_;
  const PrintSource& source_;
  const std::function<bool()>& cancelled_;
  std::string& body_;
};

}  // namespace

int BuildPrintBody(CategoryId category, bool deleted_only, const PrintSource& source,
                   const std::function<bool()>& cancelled, std::string& body) {
  body.clear();
  Builder builder(deleted_only, source, cancelled, body);
  bool done = true;
  switch (category) {
    case CategoryId::Messages:
      done = builder.Messages();
      break;
    case CategoryId::Contacts:
      done = builder.Contacts();
      break;
    case CategoryId::CallHistory:
      done = builder.Calls();
      break;
    case CategoryId::Notes:
      done = builder.Notes();
      break;
    case CategoryId::WhatsApp:
      done = builder.WhatsApp();
      break;
    default:
      break;
  }
  if (!done) {
    body.clear();
    return kStopped;
  }
  return kOk;
}

int PrintPage::LoadTemplate(const std::filesystem::path& app_dir) {
  if (loaded_) return 0;
  std::string text;
  int rc = ReadWholeFile(app_dir / "template" / "Print.html", kMaxTemplateBytes, text);
  SetTemplate(rc == 0 ? std::move(text) : std::string());
  return rc;
}

void PrintPage::SetTemplate(std::string text) {
  loaded_ = true;
  size_t at = text.find(kContentMarker);
  if (at == std::string::npos) {
    prefix_ = kFramePrefix;
    suffix_ = kFrameSuffix;
    return;
  }
  prefix_ = text.substr(0, at);
  suffix_ = text.substr(at + kContentMarker.size());
}

std::string PrintPage::Compose(std::string_view body) const {
  std::string page;
  page.reserve(prefix_.size() + body.size() + suffix_.size());
  page += loaded_ ? std::string_view(prefix_) : kFramePrefix;
  page += body;
  page += loaded_ ? std::string_view(suffix_) : kFrameSuffix;
  return page;
}

int PrintPage::Write(const std::filesystem::path& page_file, std::string_view body) const {
  return ReplaceFileAtomically(page_file, Compose(body));
}

std::filesystem::path PrintFolder(const std::filesystem::path& app_dir) {
  return app_dir / "Print";
}

std::filesystem::path PrintPageFile(const std::filesystem::path& app_dir) {
  return PrintFolder(app_dir) / "page.html";
}

}  // namespace salvora
