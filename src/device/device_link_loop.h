// The message loop of a mobilebackup2 job: receives the device's device-link messages and
// answers each, until the device disconnects, sends its final "DLMessageProcessMessage", the
// progress callback asks to stop, or the backup abort counter is raised.
//
// Messages and their answers (paths are relative to the backup directory, device_path.h):
//   DLMessageDownloadFiles     send the named files; status -13 "Multi status" with the error
//                              dictionary when one failed, else 0
//   DLMessageUploadFiles       receive files; status 0, or -13 "Multi status" with the error
//                              dictionary when a file was refused or could not be written
//   DLMessageGetFreeDiskSpace  status 0 with the bytes free on the backup directory's volume
//                              (-1 and 0 bytes when that cannot be told)
//   DLContentsOfDirectory      status 0 with {name: {DLFileType, DLFileSize,
//                              DLFileModificationDate}} of the folder's entries
//   DLMessageCreateDirectory   create it with missing parents; status 0, no property list
//   DLMessageMoveFiles/Items   replace each destination by its source; the first failed rename
//                              ends the list and its error is the status
//   DLMessageRemoveFiles/Items remove files and folders; a missing one is no failure; the last
//                              failure is the status
//   DLMessageCopyItem          copy a file, or a folder's files one level deep; status 0
//   DLMessageDisconnect        end
//   DLMessageProcessMessage    its "ErrorCode" (negated) becomes the result; end
//   anything else              ignored, no answer
// A path that would lead outside the backup directory is answered with the device code of
// EACCES. After every message but the last two the progress callback of the connection sees
// weight x overall progress / 100; the overall progress is taken from the messages that carry
// one.
//
// When nothing arrives the loop waits `emptyReceiveWait` and probes the device with
// GetDeviceName; more than 10 failed probes in a row raise the abort counter (while the name
// is cached the probe always fails, so this is eleven empty receives). At its end the loop
// releases the sync lock.
#pragma once

#include <filesystem>
#include <string>

#include <plist/plist.h>

#include "device/device_connection.h"

namespace salvora {

class DeviceLinkLoop {
 public:
  // Runs on `connection`'s transport with the backup directory `backupDir`; an empty one
  // means none: every file operation is refused.
  DeviceLinkLoop(DeviceConnection& connection, std::filesystem::path backupDir);

  // Resets the overall progress and the abort counter, then runs the loop. Returns 0, the
  // negated "ErrorCode" of the device, -1 for an abort, or the non-zero answer of the progress
  // callback. -1 at once when the connection has no transport.
  [[nodiscard]] int Run();

  // Files received completely during the loop.
  [[nodiscard]] int filesReceived() const { return filesReceived_; }

 private:
  // Handles one message; true when it ends the loop. `report` is cleared for the messages that
  // make no progress report.
  bool Dispatch(const std::string& name, plist_t message, bool& report);
  void TakeProgress(plist_t message, uint32_t index);
  void SendStatus(int code, const char* description, plist_t plist);
  void RefusePath(const std::string& path);

  void HandleDownloadFiles(plist_t message);
  void HandleUploadFiles();
  void HandleGetFreeDiskSpace();
  void HandleContentsOfDirectory(plist_t message);
  void HandleCreateDirectory(plist_t message);
  void HandleMoveItems(plist_t message);
  void HandleRemoveItems(plist_t message);
  void HandleCopyItem(plist_t message);
  void HandleProcessMessage(plist_t message);

  DeviceConnection& connection_;
  IDeviceTransport* transport_;
  std::filesystem::path backupDir_;
  int result_ = 0;
  int filesReceived_ = 0;
};

}  // namespace salvora
