// The device's side of a scan from the command line: connecting before the scan, the
// sentences for the ways a device scan can end, and letting the device go afterwards.
#pragma once

#include <optional>
#include <string>

namespace salvora::cli {

// Connects to the first device and, when it encrypts its backups, turns its backup encryption
// off with `password` (the backup job turns it on again at its end). Returns kExitDone, or
// another exit status with `message` saying why (no service, no device, no or a wrong
// password).
[[nodiscard]] int PrepareDeviceScan(const std::optional<std::string>& password,
                                    std::string& message);

// The exit status and sentence for a device scan whose Open returned `openResult`; kExitDone
// with an empty message when it worked.
[[nodiscard]] int DeviceOpenOutcome(int openResult, std::string& message);

// Disconnects the device; when its backup encryption was left off, returns the warning to
// show (empty otherwise).
[[nodiscard]] std::string FinishDeviceScan();

}  // namespace salvora::cli
