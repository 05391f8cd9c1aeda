// The process-wide counter that stops a running device backup. Any value above 0 makes the
// backup's message loop or file transfer end with -1; the loop resets it to 0 when it starts.
// It is raised by the scan page's stop command, by the device discovery before it
// reconnects, by a sync-cancel notification from the device and by the backup job itself
// when the device has gone.
#pragma once

#include <atomic>

namespace salvora {

[[nodiscard]] std::atomic<int>& BackupAbortCounter();

}  // namespace salvora
