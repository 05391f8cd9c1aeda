// The notifications exchanged with the device around a backup, and the handler of the ones
// the device sends.
#pragma once

#include <string_view>

namespace salvora {

// Observed: sent by the device.
inline constexpr const char* kNotifySyncCancelRequest = "com.apple.itunes-client.syncCancelRequest";
inline constexpr const char* kNotifySyncSuspendRequest =
    "com.apple.itunes-client.syncSuspendRequest";
inline constexpr const char* kNotifySyncResumeRequest = "com.apple.itunes-client.syncResumeRequest";
inline constexpr const char* kNotifyHostAttached = "com.apple.mobile.lockdown.host_attached";
inline constexpr const char* kNotifyHostDetached = "com.apple.mobile.lockdown.host_detached";

// Posted: sent by this program.
inline constexpr const char* kNotifySyncWillStart = "com.apple.itunes-mobdev.syncWillStart";
inline constexpr const char* kNotifySyncLockRequest = "com.apple.itunes-mobdev.syncLockRequest";
inline constexpr const char* kNotifySyncDidStart = "com.apple.itunes-mobdev.syncDidStart";
inline constexpr const char* kNotifySyncDidFinish = "com.apple.itunes-mobdev.syncDidFinish";

// The service names of lockdown that the connection starts.
inline constexpr const char* kNotificationProxyService = "com.apple.mobile.notification_proxy";
inline constexpr const char* kAfcService = "com.apple.afc";
inline constexpr const char* kMobileBackup2Service = "com.apple.mobilebackup2";

// The client label of every lockdown session.
inline constexpr const char* kLockdownLabel = "idevicebackup2";

// Called for each observed notification, on the notification client's own thread. The user's
// cancel on the device raises the backup abort counter, so that a running backup stops at its
// next check; every other notification is ignored.
void HandleDeviceNotification(std::string_view name);

}  // namespace salvora
