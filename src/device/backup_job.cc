#include "device/backup_job.h"

#include <system_error>

#include "core/abort_counter.h"
#include "core/result_codes.h"
#include "device/backup_info_plist.h"
#include "device/device_link_loop.h"
#include "device/device_log.h"
#include "platform/local_time.h"

namespace salvora {
namespace {

namespace fs = std::filesystem;

// Clears `isIdle` for its lifetime.
class BusyScope {
 public:
  explicit BusyScope(DeviceConnection& connection) : connection_(connection) {
    connection_.isIdle = 0;
  }
  ~BusyScope() { connection_.isIdle = 1; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  DeviceConnection& connection_;
};

// The files directly in `folder`, dot names left alone.
void DeleteFilesIn(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!name.empty() && name.front() == '.') continue;
    std::error_code entryError;
    if (fs::is_directory(it->symlink_status(entryError))) continue;
    fs::remove(it->path(), entryError);
  }
}

// Sends "ChangePassword" with the given entries and waits for the device's answer.
int ChangePassword(DeviceConnection& connection, const char* oldPassword, const char* newPassword) {
  PlistPtr options(plist_new_dict());
  plist_dict_set_item(options.get(), "TargetIdentifier", plist_new_string(connection.udid.c_str()));
  if (oldPassword != nullptr) {
    plist_dict_set_item(options.get(), "OldPassword", plist_new_string(oldPassword));
  }
  if (newPassword != nullptr) {
    plist_dict_set_item(options.get(), "NewPassword", plist_new_string(newPassword));
  }
  int sent = connection.transport()->SendMessage("ChangePassword", options.get());
  if (sent != 0) return sent;
  return DeviceLinkLoop(connection, fs::path()).Run();
}

// The backup proper, into `connection.backupDir`.
int RunBackup(DeviceConnection& connection, const fs::path& backupRoot) {
  std::error_code ec;
  if (!fs::is_directory(backupRoot, ec)) return kInvalidParameter;
  fs::create_directory(connection.backupDir, ec);

  PlistPtr info =
      BuildBackupInfoPlist(*connection.transport(), connection.udid, platform::NowUnixSeconds());
  int written = WritePlistXml(info.get(), connection.backupDir / "Info.plist");
  if (written != 0) {
    DeviceLog("Could not write Info.plist: %s\n", std::generic_category().message(written).c_str());
  }

  int requested =
      connection.transport()->SendRequest("Backup", connection.udid, connection.udid, nullptr);
  if (requested != 0) return requested;
  return DeviceLinkLoop(connection, connection.backupDir).Run();
}

}  // namespace

int TurnOffBackupEncryption(DeviceConnection& connection, const std::string& password) {
  if (connection.willEncrypt == 0) return kOk;
  if (password.empty() || connection.transport() == nullptr) return kInvalidParameter;
  int result = ChangePassword(connection, password.c_str(), nullptr);
  if (result == kOk) {
    connection.willEncrypt = 0;
    connection.RememberEncryptionPassword(password);
  }
  return result;
}

int TurnOnBackupEncryption(DeviceConnection& connection) {
  if (!connection.HasRememberedEncryptionPassword()) return kOk;
  int result = -1;
  // A device that has gone cannot be asked; waiting for its answer would only hold the job.
  if (connection.transport() != nullptr && connection.transport()->IsDevicePresent()) {
    std::string password = connection.rememberedEncryptionPassword();
    result = ChangePassword(connection, nullptr, password.c_str());
    for (char& c : password) c = 0;
  }
  if (result == kOk) {
    connection.willEncrypt = 1;
    connection.backupEncryptionLeftOff = 0;
    connection.ForgetEncryptionPassword();
  } else {
    connection.backupEncryptionLeftOff = 1;
    DeviceLog("Could not turn backup encryption on again (%d)\n", result);
  }
  return result;
}

void CleanBackupDirectory(const fs::path& backupDir) {
  if (backupDir.empty()) return;
  DeleteFilesIn(backupDir);
  fs::path snapshot = backupDir / "Snapshot";
  DeleteFilesIn(snapshot);
  std::error_code ec;
  fs::remove(snapshot, ec);  // only when it is empty now
}

int RunBackupJob(DeviceConnection& connection, const fs::path& backupRoot,
                 const std::string& password) {
  std::error_code ec;
  if (backupRoot.empty()) return kInvalidParameter;
  fs::create_directories(backupRoot, ec);
  BusyScope busy(connection);

  // Whoever turned encryption off (this job, or the device page before it), the job turns it
  // on again on every way out, so that the phone's later backups are encrypted as before.
  auto finish = [&connection](int result) {
    if (!connection.HasRememberedEncryptionPassword()) return result;
    // The loop of the request resets the abort counter; a stop asked for meanwhile stays.
    int pendingAbort = BackupAbortCounter().load();
    int restored = TurnOnBackupEncryption(connection);
    if (pendingAbort > 0) BackupAbortCounter().fetch_add(pendingAbort);
    return restored != kOk && result == kOk ? kBackupEncryptionLeftOff : result;
  };

  if (connection.transport() == nullptr || !connection.transport()->HasBackupService()) {
    return finish(kInvalidParameter);
  }
  // The udid names the backup folder, which a failed backup empties: it must be one plain name.
  const std::string& udid = connection.udid;
  if (udid.empty() || udid == "." || udid == ".." || udid.find('/') != std::string::npos ||
      udid.find('\\') != std::string::npos) {
    return finish(kInvalidParameter);
  }

  if (connection.willEncrypt != 0) {
    int result = TurnOffBackupEncryption(connection, password);
    if (result != kOk) return finish(result);
  }

  connection.backupDir = backupRoot / connection.udid;
  int result = RunBackup(connection, backupRoot);
  if (result != kOk) CleanBackupDirectory(connection.backupDir);
  return finish(result);
}

}  // namespace salvora
