// salvora-cli device info
// salvora-cli device backup OUTDIR [--password PW | --password-file FILE]
#include <atomic>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/commands.h"
#include "cli/device_scan.h"
#include "cli/scan_runner.h"
#include "core/abort_counter.h"
#include "core/result_codes.h"
#include "device/backup_job.h"
#include "device/device_connection.h"
#include "platform/mobile_device_service.h"

namespace salvora::cli {
namespace {

constexpr const char* kUsage =
    "Usage: salvora-cli device info\n"
    "       salvora-cli device backup OUTDIR [--password PW | --password-file FILE]\n";

// Ctrl-C stops a running backup at its next check. A lock-free atomic may be changed from a
// signal handler.
extern "C" void OnBackupInterrupt(int) { BackupAbortCounter().fetch_add(1); }

int ProgressOnTerminal(void* /*userData*/, int percent) {
  std::fprintf(stderr, "\rBacking up the device: %3d%%", percent);
  std::fflush(stderr);
  return 0;
}

constexpr const char* kEncryptionLeftOff =
    "Warning: the device's backup encryption was turned off for this backup and could not be "
    "turned on again. Backups of this iPhone are now NOT encrypted. Set a backup password "
    "again (with the desktop sync software) to encrypt them.";

// Connects to the first device. Returns kExitDone, or kExitSourceUnopenable with `message`
// saying why not.
int ConnectDevice(DeviceConnection& connection, uint8_t& willEncrypt, std::string& message) {
  if (!DeviceConnection::IsAppleSupportInstalled()) {
    message =
        "No device can be reached: the usbmuxd service, which connects to phones over USB, is "
        "not running (nothing answers at " +
        platform::MobileDeviceServiceAddress() + ").";
    return kExitSourceUnopenable;
  }
  int result = connection.Connect(willEncrypt);
  if (result == -1) {
    message = "No device is connected. Connect the iPhone with its cable and try again.";
    return kExitSourceUnopenable;
  }
  if (result != 0) {
    message = "The device did not accept the connection (error " + std::to_string(result) +
              "). Unlock it, answer \"Trust This Computer\" on its screen, and try again.";
    return kExitSourceUnopenable;
  }
  return kExitDone;
}

int ConnectDevice(DeviceConnection& connection, uint8_t& willEncrypt) {
  std::string message;
  int status = ConnectDevice(connection, willEncrypt, message);
  if (status != kExitDone) std::fprintf(stderr, "%s\n", message.c_str());
  return status;
}

void PrintEncryptionLeftOff() { std::fprintf(stderr, "%s\n", kEncryptionLeftOff); }

constexpr const char* kPasswordNeeded =
    "The device encrypts its backups. Give its backup password with --password or "
    "--password-file; encryption is turned off for the backup and on again afterwards.";

int RunInfo() {
  DeviceConnection& connection = DeviceConnection::Instance();
  uint8_t willEncrypt = 0;
  int status = ConnectDevice(connection, willEncrypt);
  if (status != kExitDone) return status;
  std::printf("Name:              %s\n", connection.deviceName.c_str());
  std::printf("Class:             %s\n", connection.deviceClass.c_str());
  std::printf("Product version:   %s\n", connection.productVersion.c_str());
  std::printf("Unique id:         %s\n", connection.udid.c_str());
  std::printf("Encrypted backups: %s\n", willEncrypt != 0 ? "yes" : "no");
  connection.Disconnect();
  return kExitDone;
}

int RunBackup(const std::vector<std::string>& args) {
  std::optional<std::string> password;
  std::optional<std::filesystem::path> outDir;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string error;
    if (ParsePasswordOption(args, i, password, error)) {
      if (!error.empty()) {
        std::fprintf(stderr, "%s\n%s", error.c_str(), kUsage);
        return kExitUsage;
      }
    } else if (!args[i].empty() && args[i][0] == '-') {
      std::fprintf(stderr, "Unknown option \"%s\".\n%s", args[i].c_str(), kUsage);
      return kExitUsage;
    } else if (!outDir) {
      outDir = args[i];
    } else {
      std::fprintf(stderr, "Only one output folder can be given.\n%s", kUsage);
      return kExitUsage;
    }
  }
  if (!outDir) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }

  DeviceConnection& connection = DeviceConnection::Instance();
  uint8_t willEncrypt = 0;
  int status = ConnectDevice(connection, willEncrypt);
  if (status != kExitDone) return status;
  if (willEncrypt != 0 && (!password || password->empty())) {
    std::fprintf(stderr, "%s\n", kPasswordNeeded);
    connection.Disconnect();
    return kExitUsage;
  }

  bool onTerminal = ::isatty(STDERR_FILENO) == 1;
  connection.requestFlags = 8;
  connection.progressCallback = onTerminal ? ProgressOnTerminal : nullptr;
  connection.progressUserData = nullptr;
  connection.progressWeight = 100;

  struct sigaction action {};
  action.sa_handler = OnBackupInterrupt;
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  ::sigaction(SIGINT, &action, &previous);
  int result = RunBackupJob(connection, *outDir, password.value_or(""));
  ::sigaction(SIGINT, &previous, nullptr);
  if (onTerminal) std::fputs("\n", stderr);

  std::filesystem::path written = connection.backupDir;
  bool leftOff = connection.backupEncryptionLeftOff != 0;
  connection.Disconnect();

  if (result == kOk || result == kBackupEncryptionLeftOff) {
    std::printf("Backup written to %s\n", written.string().c_str());
    if (leftOff) PrintEncryptionLeftOff();
    return leftOff ? kExitEncryptionLeftOff : kExitDone;
  }
  if (leftOff) PrintEncryptionLeftOff();
  if (result == -1) {
    std::fputs(
        "The backup stopped before it finished: it was cancelled here or on the device, or the "
        "device was disconnected or stopped answering.\n",
        stderr);
    return kExitStopped;
  }
  if (result == kInvalidParameter) {
    std::fprintf(stderr,
                 "The output folder \"%s\" cannot be created, or the device offers no "
                 "backup service.\n",
                 outDir->string().c_str());
    return kExitSourceUnopenable;
  }
  if (willEncrypt != 0 && connection.willEncrypt != 0 && written.empty()) {
    std::fprintf(stderr,
                 "The device did not accept the backup password (error %d); no backup was "
                 "made.\n",
                 result);
    return kExitWrongPassword;
  }
  std::fprintf(stderr, "The backup failed (error %d).\n", result);
  return kExitSourceUnopenable;
}

}  // namespace

int PrepareDeviceScan(const std::optional<std::string>& password, std::string& message) {
  DeviceConnection& connection = DeviceConnection::Instance();
  uint8_t willEncrypt = 0;
  int status = ConnectDevice(connection, willEncrypt, message);
  if (status != kExitDone) return status;
  if (willEncrypt == 0) return kExitDone;
  if (!password || password->empty()) {
    message = kPasswordNeeded;
    connection.Disconnect();
    return kExitUsage;
  }
  int result = TurnOffBackupEncryption(connection, *password);
  if (result != kOk) {
    message = "The device did not accept the backup password (error " + std::to_string(result) +
              "); nothing was read.";
    connection.Disconnect();
    return kExitWrongPassword;
  }
  return kExitDone;
}

int DeviceOpenOutcome(int openResult, std::string& message) {
  message.clear();
  if (openResult == kOk) return kExitDone;
  if (openResult == kStopped || openResult == kStoppedSilently) {
    message =
        "The device backup stopped before it finished: it was cancelled here or on the device, "
        "or the device was disconnected or stopped answering.";
    return kExitStopped;
  }
  message = "The device could not be backed up (error " + std::to_string(openResult) + ").";
  return kExitSourceUnopenable;
}

std::string FinishDeviceScan() {
  DeviceConnection& connection = DeviceConnection::Instance();
  // Encryption turned off before the scan but never reached by a backup job is turned on here.
  if (connection.HasRememberedEncryptionPassword()) (void)TurnOnBackupEncryption(connection);
  bool leftOff = connection.backupEncryptionLeftOff != 0;
  connection.Disconnect();
  return leftOff ? kEncryptionLeftOff : "";
}

int RunDeviceCommand(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "info") {
    if (!rest.empty()) {
      std::fputs(kUsage, stderr);
      return kExitUsage;
    }
    return RunInfo();
  }
  if (args[0] == "backup") return RunBackup(rest);
  std::fprintf(stderr, "Unknown device command \"%s\".\n%s", args[0].c_str(), kUsage);
  return kExitUsage;
}

}  // namespace salvora::cli
