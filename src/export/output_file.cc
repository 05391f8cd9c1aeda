#include "export/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace salvora {
namespace {

// Pages and tables are written in pieces of this size; a conversation of any length needs no
// more memory than that beside its records.
constexpr size_t kBufferBytes = 256 * 1024;

int WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

int CreateFolders(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!ec) return 0;
  // create_directories reports an existing folder reached through a link as an error on
  // some library versions; a folder that is there is what the caller wants.
  if (std::filesystem::is_directory(folder)) return 0;
  return ec.value() != 0 ? ec.value() : EIO;
}

OutputFile::~OutputFile() { (void)Close(); }

int OutputFile::Create(const std::filesystem::path& path) {
  (void)Close();
  error_ = 0;
  buffer_.clear();
  path_ = path;
  opened_ = false;
  if (path.has_parent_path()) {
    if (int rc = CreateFolders(path.parent_path()); rc != 0) return rc;
  }
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  fd_ = fd;
  opened_ = true;
  buffer_.reserve(kBufferBytes);
  return 0;
}

void OutputFile::Write(std::string_view bytes) {
  if (fd_ < 0 || error_ != 0) return;
  if (buffer_.size() + bytes.size() > kBufferBytes) {
    Flush();
    if (bytes.size() >= kBufferBytes) {
      if (error_ == 0) error_ = WriteAll(fd_, bytes.data(), bytes.size());
      return;
    }
  }
  buffer_.append(bytes);
}

void OutputFile::Flush() {
  if (fd_ >= 0 && error_ == 0 && !buffer_.empty()) {
    error_ = WriteAll(fd_, buffer_.data(), buffer_.size());
  }
  buffer_.clear();
}

int OutputFile::Close() {
  if (fd_ < 0) return 0;
  Flush();
  if (::close(fd_) != 0 && error_ == 0 && errno != EINTR) error_ = errno;
  fd_ = -1;
  return error_;
}

void OutputFile::Remove() {
  if (fd_ >= 0) {
    buffer_.clear();
    ::close(fd_);
    fd_ = -1;
  }
  // Only a file this object created is deleted, never one a failed Create left alone.
  if (opened_) ::unlink(path_.c_str());
  opened_ = false;
}

int ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::path temp = path;
  temp += ".part";
  OutputFile file;
  if (int rc = file.Create(temp); rc != 0) return rc;
  file.Write(bytes);
  if (int rc = file.Close(); rc != 0) {
    ::unlink(temp.c_str());
    return rc;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int rc = errno;
    ::unlink(temp.c_str());
    return rc;
  }
  return 0;
}

}  // namespace salvora
