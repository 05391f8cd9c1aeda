// The sub-commands of salvora-cli. Each takes the arguments after its own name and returns
// the process exit status.
#pragma once

#include <string>
#include <vector>

namespace salvora::cli {

// Exit statuses shared by every sub-command.
inline constexpr int kExitDone = 0;
inline constexpr int kExitSourceUnopenable = 1;
inline constexpr int kExitStopped = 2;
inline constexpr int kExitWrongPassword = 3;
// The device backup worked, but the device's backup encryption could not be turned on again.
inline constexpr int kExitEncryptionLeftOff = 4;
// An export ran to its end, but some items could not be written.
inline constexpr int kExitItemsFailed = 5;
inline constexpr int kExitUsage = 64;

int RunList(const std::vector<std::string>& args);
int RunScanCommand(const std::vector<std::string>& args);
int RunExportCommand(const std::vector<std::string>& args);
int RunDeviceCommand(const std::vector<std::string>& args);

}  // namespace salvora::cli
