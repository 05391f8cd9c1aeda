#include "backup/decryptor_supervisor.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/result_codes.h"
#include "core/text.h"
#include "platform/child_process.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kWrongPasswordText = "Wrong password";
constexpr std::string_view kCountText = "Count:";
constexpr size_t kReadChunk = 4096;
constexpr auto kExitWait = std::chrono::milliseconds(5);
constexpr int kPassesAfterExit = 100;

// The first bytes of a program file on this platform. The stored decryptor is kept as a
// normal executable, so writing them back over the copy changes nothing for a sound file;
// it only repairs a copy whose header was scrambled for storage.
#if defined(__APPLE__)
constexpr unsigned char kExecutableMagic[] = {0xCF, 0xFA, 0xED, 0xFE};
#else
constexpr unsigned char kExecutableMagic[] = {0x7F, 'E', 'L', 'F'};
#endif

bool IsDotName(const fs::path& p) {
  const std::string name = p.filename().string();
  return !name.empty() && name[0] == '.';
}

// Copies the stored decryptor to `copy`, keeping its permission bits, and restores the
// executable magic. A new file is written under a temporary name and renamed over the old
// copy, so a copy that is still running from an earlier run is never written to.
bool PrepareWorkCopy(const fs::path& stored, const fs::path& copy) {
  std::error_code ec;
  fs::create_directories(copy.parent_path(), ec);
  if (!fs::is_regular_file(stored, ec)) return false;
  fs::path temp = copy;
  temp += ".new";
  fs::remove(temp, ec);
  if (!fs::copy_file(stored, temp, fs::copy_options::overwrite_existing, ec)) return false;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (ok) {
    size_t n = std::min(sizeof kExecutableMagic, static_cast<size_t>(st.st_size));
    ok = ::pwrite(fd, kExecutableMagic, n, 0) == static_cast<ssize_t>(n);
  }
  ok = ::close(fd) == 0 && ok;
  if (ok) {
    fs::permissions(temp, fs::perms::owner_exec, fs::perm_options::add, ec);
    fs::rename(temp, copy, ec);
    ok = !ec;
  }
  if (!ok) fs::remove(temp, ec);
  return ok;
}

int ReportValue(const ProgressState& progress, int64_t n, int64_t file_count) {
  if (file_count <= 0) return progress.progressBase;
  n = std::clamp<int64_t>(n, 0, file_count);
  return progress.progressBase +
         static_cast<int>(static_cast<int64_t>(progress.progressSpan) * n / file_count);
}

// Follows the decryptor until it has ended and its output is read, or until the output
// says "Wrong password" or a report asks to stop.
int Supervise(ProgressState& progress, platform::ChildProcess& child, int64_t file_count) {
  char buffer[kReadChunk];
  int passes_after_exit = -1;  // -1 while the decryptor runs
  while (true) {
    if (passes_after_exit < 0) {
      if (child.WaitForExit(kExitWait)) passes_after_exit = 0;
    } else if (++passes_after_exit > kPassesAfterExit) {
      return kOk;
    }
    long waiting = child.BytesAvailable();
    if (waiting < 0) return kOk;  // the pipe has ended or cannot be looked at
    if (waiting == 0) {
      if (passes_after_exit >= 0) std::this_thread::sleep_for(kExitWait);
      continue;
    }
    long got = child.ReadAvailable(buffer, sizeof buffer);
    if (got <= 0) return kOk;
    DecryptorOutput out = ParseDecryptorOutput(std::string_view(buffer, static_cast<size_t>(got)));
    if (out.wrongPassword) return kWrongPassword;
    if (out.hasCount && progress.progressBase == 0) {
      progress.progressBase = 1;
      if (int rc = progress.Report(1); rc != 0) return rc;
    }
    if (int rc = progress.Report(ReportValue(progress, out.count, file_count)); rc != 0) return rc;
  }
}

}  // namespace

int64_t CountBackupFiles(const fs::path& backup_folder) {
  std::error_code ec;
  int64_t count = 0;
  for (fs::directory_iterator it(backup_folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (IsDotName(it->path())) continue;
    ++count;
    std::error_code type_ec;
    if (!it->is_directory(type_ec)) continue;
    std::error_code sub_ec;
    for (fs::directory_iterator sub(it->path(), sub_ec); !sub_ec && sub != end;
         sub.increment(sub_ec)) {
      if (!IsDotName(sub->path())) ++count;
    }
  }
  return count;
}

DecryptorOutput ParseDecryptorOutput(std::string_view text) {
  DecryptorOutput out;
  out.wrongPassword = text.find(kWrongPasswordText) != std::string_view::npos;
  size_t at = text.find(kCountText);
  if (at == std::string_view::npos) return out;
  out.hasCount = true;
  size_t i = at + kCountText.size();
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  int64_t n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    int digit = text[i] - '0';
    if (n > (INT64_MAX - digit) / 10) {
      n = INT64_MAX;
      break;
    }
    n = n * 10 + digit;
  }
  out.count = n;
  return out;
}

int DecryptBackup(ProgressState& progress, const fs::path& backup_folder,
                  const fs::path& output_folder, const fs::path& work_folder,
                  const fs::path& program_folder, const std::u16string& password,
                  std::vector<fs::path>& decrypted_files) {
  const int64_t file_count = CountBackupFiles(backup_folder);

  const fs::path copy = work_folder / kDecryptorWorkCopyName;
  if (!PrepareWorkCopy(program_folder / kDecryptorProgramName, copy)) return kInvalidParameter;

  std::error_code ec;
  fs::create_directories(output_folder, ec);
  if (!fs::is_directory(output_folder, ec)) return kInvalidParameter;

  int result = kOk;
  {
    platform::ChildProcess child;
    // Each path and the password are single arguments; no shell sees them.
    if (child.Start(copy,
                    {backup_folder.string(), output_folder.string(), Utf16ToUtf8(password)}) != 0) {
      return kInvalidParameter;
    }
    result = Supervise(progress, child, file_count);
  }  // the pipes close here; a decryptor that still runs finishes on its own

  (void)progress.Report(progress.progressBase + progress.progressSpan);
  if (result != kOk) return result;

  std::vector<fs::path> entries;
  for (fs::directory_iterator it(output_folder, ec), end; !ec && it != end; it.increment(ec)) {
    entries.push_back(it->path());
  }
  std::sort(entries.begin(), entries.end());
  decrypted_files = std::move(entries);
  return kOk;
}

}  // namespace salvora
