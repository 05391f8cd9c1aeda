#include "device/device_notifications.h"

#include "core/abort_counter.h"

namespace salvora {

void HandleDeviceNotification(std::string_view name) {
  if (name == kNotifySyncCancelRequest) BackupAbortCounter().fetch_add(1);
}

}  // namespace salvora
