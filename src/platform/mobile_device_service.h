// Whether the mobile-device service that reaches connected phones is available.
//
// On this platform that service is the usbmuxd daemon. Its address is
// $USBMUXD_SOCKET_ADDRESS when set ("UNIX:/path/to/socket" or "host:port", the forms the
// device libraries read), else the socket /var/run/usbmuxd.
#pragma once

#include <string>

namespace salvora::platform {

// True when a connection to the service's address can be made now (it is closed at once).
// Never blocks for more than about a second.
[[nodiscard]] bool IsMobileDeviceServiceReachable();

// The address that IsMobileDeviceServiceReachable tries, as text (for messages).
[[nodiscard]] std::string MobileDeviceServiceAddress();

}  // namespace salvora::platform
