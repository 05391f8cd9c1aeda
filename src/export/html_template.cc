#include "export/html_template.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/result_codes.h"
#include "core/text.h"

namespace salvora {
namespace {

// Templates are a few kilobytes of markup and style; anything far larger is not one.
constexpr size_t kMaxTemplateBytes = 16u << 20;

}  // namespace

int ReadWholeFile(const std::filesystem::path& file, size_t max_bytes, std::string& bytes) {
  bytes.clear();
  int fd = -1;
  do {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  int rc = 0;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    rc = errno;
  } else if (!S_ISREG(st.st_mode)) {
    rc = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  } else {
    char buf[64 * 1024];
    for (;;) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR) continue;
        rc = errno;
        break;
      }
      if (n == 0) break;
      if (bytes.size() + static_cast<size_t>(n) > max_bytes) {
        rc = EFBIG;
        break;
      }
      bytes.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  if (rc != 0) bytes.clear();
  return rc;
}

int HtmlTemplate::Load(const std::filesystem::path& file, std::string_view title_html) {
  if (!loaded_) {
    std::string bytes;
    if (int rc = ReadWholeFile(file, kMaxTemplateBytes, bytes); rc != 0) return rc;
    text_ = std::move(bytes);
  }
  return SetText(text_, title_html) ? 0 : kInvalidParameter;
}

bool HtmlTemplate::SetText(std::string text, std::string_view title_html) {
  text_ = std::move(text);
  loaded_ = true;
  head_.clear();
  tail_.clear();
  size_t at = text_.find(kContentMarker);
  if (at == std::string::npos) return false;
  head_ = text_.substr(0, at);
  tail_ = text_.substr(at + kContentMarker.size());
  ReplaceAll(head_, kTitleMarker, title_html);
  return true;
}

std::string HtmlTemplate::HeadWithPerson(std::string_view person_html) const {
  std::string head = head_;
  ReplaceAll(head, kPersonMarker, person_html);
  return head;
}

}  // namespace salvora
