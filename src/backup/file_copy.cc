#include "backup/file_copy.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/result_codes.h"
#include "media/content_type.h"
#include "media/extension_lists.h"

namespace salvora {
namespace {

// A file descriptor that closes itself.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool ok() const { return fd_ >= 0; }
  // Closes now; returns the errno of a failed close (a late write error), else 0.
  int Close() {
    int rc = 0;
    if (fd_ >= 0 && ::close(fd_) != 0) rc = errno;
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

int OpenForReading(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // no FIFOs, devices or folders
    ::close(fd);
    return -1;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

int OpenForWriting(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

// Reads exactly `size` bytes unless the file ends or fails first; the count read, or -1.
ssize_t ReadFull(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

int WriteFull(int fd, const char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, buffer + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

int Percent(uint64_t copied, uint64_t size) {
  return size == 0 ? 100 : static_cast<int>(copied * 100 / size);
}

}  // namespace

int CopyFileOut(const std::filesystem::path& source, const std::filesystem::path& destination,
                CopyProgressCallback callback, void* userData) {
  auto report = [&](int percent, int code) {
    return callback != nullptr ? callback(userData, percent, code, destination) : 0;
  };
  std::error_code ec;
  if (destination.has_parent_path()) {
    std::filesystem::create_directories(destination.parent_path(), ec);
  }
  Fd in(OpenForReading(source));
  if (!in.ok()) {
    report(100, kInvalidParameter);
    return kInvalidParameter;
  }
  Fd out(OpenForWriting(destination));
  if (!out.ok()) {
    report(100, kInvalidParameter);
    return kInvalidParameter;
  }
  struct stat st {};
  if (::fstat(in.get(), &st) != 0) st.st_size = 0;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size == 0) return out.Close();

  std::unique_ptr<char[]> buffer(new char[kCopyChunkBytes]);
  uint64_t copied = 0;
  int code = 0;
  while (copied < size && code == 0) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(kCopyChunkBytes, size - copied));
    ssize_t got = ReadFull(in.get(), buffer.get(), want);
    if (got != static_cast<ssize_t>(want)) {
      code = kShortRead;
      break;
    }
    code = WriteFull(out.get(), buffer.get(), want);
    if (code != 0) break;
    copied += want;
    int answer = report(Percent(copied, size), code);
    if (answer != 0) code = answer;
  }
  if (code == 0) code = out.Close();
  if (code != 0) {
    out.Close();
    std::filesystem::remove(destination, ec);  // never leave a truncated copy behind
    report(100, code);
  }
  return code;
}

int MakePreviewCopyIn(const std::filesystem::path& work_folder,
                      const std::filesystem::path& source, std::filesystem::path& copy,
                      ProgressCallback callback, void* userData) {
  auto report = [&](int percent) {
    return callback != nullptr ? callback(userData, percent) : 0;
  };
  copy.clear();
  std::string_view type = DetectFileType(source);
  if (type.empty()) {
    report(100);
    return kInvalidParameter;
  }
  const char* scratch = nullptr;
  switch (MediaKindOfExtension(type)) {
    case MediaKind::kImage: scratch = "tmp.jpg"; break;
    case MediaKind::kAudio: scratch = "tmp.wav"; break;
    case MediaKind::kVideo: scratch = "tmp.avi"; break;
    case MediaKind::kNone: break;
  }
  if (scratch == nullptr) {
    report(100);
    return kOk;
  }
  copy = work_folder / scratch;

  int code = kOk;
  Fd in(OpenForReading(source));
  std::error_code ec;
  std::filesystem::create_directories(work_folder, ec);
  Fd out(in.ok() ? OpenForWriting(copy) : -1);
  if (!in.ok() || !out.ok()) {
    code = kInvalidParameter;
  } else {
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) st.st_size = 0;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    std::unique_ptr<char[]> buffer(new char[kCopyChunkBytes]);
    uint64_t copied = 0;
    while (copied < size) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(kCopyChunkBytes, size - copied));
      ssize_t got = ReadFull(in.get(), buffer.get(), want);
      if (got != static_cast<ssize_t>(want)) {
        code = kShortRead;
        break;
      }
      code = WriteFull(out.get(), buffer.get(), want);
      if (code != 0) break;
      copied += want;
      int answer = report(Percent(copied, size));
      if (answer != 0) {
        code = answer;
        break;
      }
    }
  }
  report(100);
  return code;
}

}  // namespace salvora
