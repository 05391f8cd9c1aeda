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
#include "platform/unique_fd.h"

namespace salvora {
namespace {

using platform::UniqueFd;


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

uint64_t SizeOf(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Copies `size` bytes in 64 KiB chunks and calls `report(percent)` after each one; a non-zero
// answer ends the copy. Returns 0, kShortRead, a write errno or the answer.
template <typename Report>
int CopyChunks(int in, int out, uint64_t size, Report&& report) {
  std::unique_ptr<char[]> buffer(new char[kCopyChunkBytes]);
  uint64_t copied = 0;
  while (copied < size) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(kCopyChunkBytes, size - copied));
    if (ReadFull(in, buffer.get(), want) != static_cast<ssize_t>(want)) return kShortRead;
    if (int rc = WriteFull(out, buffer.get(), want); rc != 0) return rc;
    copied += want;
    if (int answer = report(Percent(copied, size)); answer != 0) return answer;
  }
  return kOk;
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
  UniqueFd in(OpenForReading(source));
  UniqueFd out(in.ok() ? OpenForWriting(destination) : -1);
  if (!in.ok() || !out.ok()) {
    report(100, kInvalidParameter);
    return kInvalidParameter;
  }
  const uint64_t size = SizeOf(in.get());
  if (size == 0) return out.Close();

  int code = CopyChunks(in.get(), out.get(), size, [&](int percent) { return report(percent, 0); });
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

  std::error_code ec;
  std::filesystem::create_directories(work_folder, ec);
  UniqueFd in(OpenForReading(source));
  UniqueFd out(in.ok() ? OpenForWriting(copy) : -1);
  const int code = !in.ok() || !out.ok()
                       ? kInvalidParameter
                       : CopyChunks(in.get(), out.get(), SizeOf(in.get()), report);
  report(100);
  return code;
}

}  // namespace salvora
