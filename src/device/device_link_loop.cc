#include "device/device_link_loop.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <thread>

#include <sys/stat.h>

#include "core/abort_counter.h"
#include "core/date_text.h"
#include "device/backup_file_transfer.h"
#include "device/device_error_code.h"
#include "device/device_log.h"
#include "device/device_path.h"
#include "platform/file_system.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;

// More failed probes in a row than this end the loop.
constexpr int kMaxFailedProbes = 10;
// A progress value this far or farther above the current one is not believed.
constexpr double kMaxProgressJump = 99.0;
// The status code of an answer that carries per-file errors.
constexpr int kMultiStatus = -13;

int ErrnoOf(const std::error_code& ec) {
  if (ec.category() == std::generic_category() || ec.category() == std::system_category()) {
    return ec.value();
  }
  return EFAULT;
}

bool StringAt(plist_t message, uint32_t index, std::string& out) {
  return PlistString(plist_array_get_item(message, index), out);
}

}  // namespace

DeviceLinkLoop::DeviceLinkLoop(DeviceConnection& connection, std::filesystem::path backupDir)
    : connection_(connection),
      transport_(connection.transport()),
      backupDir_(std::move(backupDir)) {}

int DeviceLinkLoop::Run() {
  connection_.overallProgress = 0;
  BackupAbortCounter().store(0);
  result_ = 0;
  filesReceived_ = 0;
  if (transport_ == nullptr) return -1;

  int failedProbes = 0;
  while (true) {
    PlistPtr message;
    int received = transport_->ReceiveMessage(message);
    if (received == 0 && message != nullptr) {
      // A device-link message is an array whose first element names it.
      std::string name;
      if (plist_get_node_type(message.get()) == PLIST_ARRAY) StringAt(message.get(), 0, name);
      bool report = true;
      if (Dispatch(name, message.get(), report)) break;
      if (report && connection_.progressCallback != nullptr) {
        int percent =
            static_cast<int>(connection_.progressWeight * connection_.overallProgress / 100.0);
        int answer = connection_.progressCallback(connection_.progressUserData, percent);
        if (answer != 0) {
          result_ = answer;
          break;
        }
      }
    } else {
      std::this_thread::sleep_for(connection_.emptyReceiveWait);
      std::string ignored;
      if (connection_.GetDeviceName(ignored) != 0) {
        ++failedProbes;
      } else {
        failedProbes = 0;
      }
      if (failedProbes > kMaxFailedProbes) {
        BackupAbortCounter().fetch_add(1);
        result_ = -1;
      }
    }
    if (BackupAbortCounter().load() > 0) {
      result_ = -1;
      break;
    }
  }
  connection_.ReleaseSyncLock();
  return result_;
}

bool DeviceLinkLoop::Dispatch(const std::string& name, plist_t message, bool& report) {
  if (name == "DLMessageDownloadFiles") {
    TakeProgress(message, 3);
    HandleDownloadFiles(message);
  } else if (name == "DLMessageUploadFiles") {
    TakeProgress(message, 2);
    HandleUploadFiles();
  } else if (name == "DLMessageGetFreeDiskSpace") {
    HandleGetFreeDiskSpace();
  } else if (name == "DLContentsOfDirectory") {
    HandleContentsOfDirectory(message);
  } else if (name == "DLMessageCreateDirectory") {
    HandleCreateDirectory(message);
  } else if (name == "DLMessageMoveFiles" || name == "DLMessageMoveItems") {
    TakeProgress(message, 3);
    HandleMoveItems(message);
  } else if (name == "DLMessageRemoveFiles" || name == "DLMessageRemoveItems") {
    TakeProgress(message, 3);
    HandleRemoveItems(message);
  } else if (name == "DLMessageCopyItem") {
    HandleCopyItem(message);
  } else if (name == "DLMessageDisconnect") {
    report = false;
    return true;
  } else if (name == "DLMessageProcessMessage") {
    report = false;
    HandleProcessMessage(message);
    return true;
  }
  return false;
}

void DeviceLinkLoop::TakeProgress(plist_t message, uint32_t index) {
  plist_t node = plist_array_get_item(message, index);
  if (node == nullptr || plist_get_node_type(node) != PLIST_REAL) return;
  double value = 0;
  plist_get_real_val(node, &value);
  // A jump from nothing to the end is the device's "done" of an earlier phase, not progress.
  if (value > 0 && value - connection_.overallProgress < kMaxProgressJump) {
    connection_.overallProgress = value;
  }
}

void DeviceLinkLoop::SendStatus(int code, const char* description, plist_t plist) {
  int error = transport_->SendStatusResponse(code, description, plist);
  if (error != 0) DeviceLog("Could not send status response, error %d\n", error);
}

void DeviceLinkLoop::RefusePath(const std::string& path) {
  DeviceLog("Refusing '%s': outside the backup directory\n", path.c_str());
  std::string text = DeviceErrorText(EACCES);
  PlistPtr empty(plist_new_dict());
  SendStatus(DeviceErrorCode(EACCES), text.c_str(), empty.get());
}

void DeviceLinkLoop::HandleDownloadFiles(plist_t message) {
  PlistPtr errors(plist_new_dict());
  BackupFileTransfer transfer(*transport_, backupDir_, connection_.udid);
  int failures = transfer.SendFiles(plist_array_get_item(message, 1), errors.get());
  if (failures > 0) {
    SendStatus(kMultiStatus, "Multi status", errors.get());
  } else {
    PlistPtr empty(plist_new_dict());
    SendStatus(0, nullptr, empty.get());
  }
}

void DeviceLinkLoop::HandleUploadFiles() {
  BackupFileTransfer transfer(*transport_, backupDir_, connection_.udid);
  BackupFileTransfer::ReceiveResult received = transfer.ReceiveFiles();
  filesReceived_ += received.files;
  if (received.failures > 0) {
    SendStatus(kMultiStatus, "Multi status", received.errors.get());
  } else {
    PlistPtr empty(plist_new_dict());
    SendStatus(0, nullptr, empty.get());
  }
}

void DeviceLinkLoop::HandleGetFreeDiskSpace() {
  std::optional<uint64_t> free;
  if (!backupDir_.empty()) free = platform::FreeBytes(backupDir_);
  PlistPtr count(plist_new_uint(free.value_or(0)));
  SendStatus(free ? 0 : -1, nullptr, count.get());
}

void DeviceLinkLoop::HandleContentsOfDirectory(plist_t message) {
  std::string name;
  if (!StringAt(message, 1, name)) {
    DeviceLog("ERROR: Malformed DLContentsOfDirectory message\n");
    return;
  }
  std::optional<fs::path> folder = ResolveDevicePath(backupDir_, connection_.udid, name);
  if (!folder) {
    RefusePath(name);
    return;
  }
  PlistPtr listing(plist_new_dict());
  std::error_code ec;
  for (fs::directory_iterator it(*folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (entry == "." || entry == "..") continue;
    // lstat: a link is reported as what it is, never followed.
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    const char* type = S_ISDIR(st.st_mode)   ? "DLFileTypeDirectory"
                       : S_ISREG(st.st_mode) ? "DLFileTypeRegular"
                                             : "DLFileTypeUnknown";
    plist_t info = plist_new_dict();
    plist_dict_set_item(info, "DLFileType", plist_new_string(type));
    plist_dict_set_item(info, "DLFileSize",
                        plist_new_uint(static_cast<uint64_t>(std::max<off_t>(st.st_size, 0))));
    int64_t modified = static_cast<int64_t>(st.st_mtime) - kAppleEpochOffset;
    modified = std::clamp<int64_t>(modified, INT32_MIN, INT32_MAX);
    plist_dict_set_item(info, "DLFileModificationDate",
                        plist_new_date(static_cast<int32_t>(modified), 0));
    plist_dict_set_item(listing.get(), entry.c_str(), info);
  }
  SendStatus(0, nullptr, listing.get());
}

void DeviceLinkLoop::HandleCreateDirectory(plist_t message) {
  std::string name;
  StringAt(message, 1, name);
  std::optional<fs::path> folder = ResolveDevicePath(backupDir_, connection_.udid, name);
  if (!folder) {
    RefusePath(name);
    return;
  }
  std::error_code ec;
  fs::create_directories(*folder, ec);
  if (ec) DeviceLog("Could not create '%s': %s\n", folder->c_str(), ec.message().c_str());
  SendStatus(0, nullptr, nullptr);
}

void DeviceLinkLoop::HandleMoveItems(plist_t message) {
  plist_t moves = plist_array_get_item(message, 1);
  int code = 0;
  std::string description;
  if (moves != nullptr && plist_get_node_type(moves) == PLIST_DICT) {
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(moves, &iter);
    while (iter != nullptr) {
      char* key = nullptr;
      plist_t value = nullptr;
      plist_dict_next_item(moves, iter, &key, &value);
      if (value == nullptr) {
        std::free(key);
        break;
      }
      std::string source = key != nullptr ? key : "";
      std::free(key);
      std::string destination;
      if (!PlistString(value, destination)) continue;

      std::optional<fs::path> from = ResolveDevicePath(backupDir_, connection_.udid, source);
      std::optional<fs::path> to = ResolveDevicePath(backupDir_, connection_.udid, destination);
      if (!from || !to) {
        DeviceLog("Refusing to move '%s' to '%s'\n", source.c_str(), destination.c_str());
        code = DeviceErrorCode(EACCES);
        description = DeviceErrorText(EACCES);
        break;
      }
      std::error_code ec;
      if (fs::is_directory(fs::symlink_status(*to, ec))) {
        fs::remove_all(*to, ec);
      } else {
        fs::remove(*to, ec);  // a failure shows in the rename
      }
      fs::rename(*from, *to, ec);
      if (ec) {
        DeviceLog("Renaming '%s' to '%s' failed: %s\n", from->c_str(), to->c_str(),
                  ec.message().c_str());
        code = DeviceErrorCode(ErrnoOf(ec));
        description = DeviceErrorText(ErrnoOf(ec));
        break;
      }
    }
    std::free(iter);
  }
  PlistPtr empty(plist_new_dict());
  SendStatus(code, description.empty() ? nullptr : description.c_str(), empty.get());
}

void DeviceLinkLoop::HandleRemoveItems(plist_t message) {
  plist_t items = plist_array_get_item(message, 1);
  int code = 0;
  std::string description;
  uint32_t count = items != nullptr && plist_get_node_type(items) == PLIST_ARRAY
                       ? plist_array_get_size(items)
                       : 0;
  for (uint32_t i = 0; i < count; ++i) {
    std::string name;
    if (!PlistString(plist_array_get_item(items, i), name)) continue;
    std::optional<fs::path> target = ResolveDevicePath(backupDir_, connection_.udid, name);
    if (!target) {
      DeviceLog("Refusing to remove '%s'\n", name.c_str());
      code = DeviceErrorCode(EACCES);
      description = DeviceErrorText(EACCES);
      continue;
    }
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(*target, ec))) {
      fs::remove_all(*target, ec);
    } else {
      fs::remove(*target, ec);
    }
    if (ec && ErrnoOf(ec) != ENOENT) {
      DeviceLog("Could not remove '%s': %s\n", target->c_str(), ec.message().c_str());
      code = DeviceErrorCode(ErrnoOf(ec));
      description = DeviceErrorText(ErrnoOf(ec));
    }
  }
  PlistPtr empty(plist_new_dict());
  SendStatus(code, description.empty() ? nullptr : description.c_str(), empty.get());
}

void DeviceLinkLoop::HandleCopyItem(plist_t message) {
  std::string source;
  std::string destination;
  if (StringAt(message, 1, source) && StringAt(message, 2, destination)) {
    std::optional<fs::path> from = ResolveDevicePath(backupDir_, connection_.udid, source);
    std::optional<fs::path> to = ResolveDevicePath(backupDir_, connection_.udid, destination);
    if (!from || !to) {
      RefusePath(!from ? source : destination);
      return;
    }
    std::error_code ec;
    fs::file_status status = fs::symlink_status(*from, ec);
    if (fs::is_directory(status)) {
      // A folder's files, one level deep, into the destination folder.
      fs::create_directories(*to, ec);
      for (fs::directory_iterator it(*from, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fileError;
        if (!it->is_regular_file(fileError)) continue;
        fs::copy_file(it->path(), *to / it->path().filename(), fs::copy_options::overwrite_existing,
                      fileError);
      }
    } else if (fs::is_regular_file(status)) {
      fs::copy_file(*from, *to, fs::copy_options::overwrite_existing, ec);
    }
  }
  PlistPtr empty(plist_new_dict());
  SendStatus(0, nullptr, empty.get());
}

void DeviceLinkLoop::HandleProcessMessage(plist_t message) {
  plist_t info = plist_array_get_item(message, 1);
  if (info == nullptr || plist_get_node_type(info) != PLIST_DICT) return;
  plist_t errorCode = plist_dict_get_item(info, "ErrorCode");
  if (errorCode != nullptr && plist_get_node_type(errorCode) == PLIST_UINT) {
    uint64_t value = 0;
    plist_get_uint_val(errorCode, &value);
    result_ = -static_cast<int>(std::min<uint64_t>(value, INT_MAX));
    if (value != 0) {
      std::string description;
      (void)PlistString(plist_dict_get_item(info, "ErrorDescription"), description);
      DeviceLog("ErrorCode %d: %s\n", static_cast<int>(std::min<uint64_t>(value, INT_MAX)),
                description.empty() ? "(Unknown)" : description.c_str());
    }
  }
  std::string content;
  if (PlistString(plist_dict_get_item(info, "Content"), content)) {
    DeviceLog("%s\n", content.c_str());
  }
}

}  // namespace salvora
