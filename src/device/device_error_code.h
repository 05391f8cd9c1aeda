// The error numbers of the device-link protocol. Status responses and file-error entries carry
// the host's failures in the device's own terms: "not found" is -6, "already exists" is -7, and
// any other error number e is sent as -e.
#pragma once

#include <cerrno>
#include <string>
#include <system_error>

namespace salvora {

[[nodiscard]] constexpr int DeviceErrorCode(int errnoValue) {
  if (errnoValue == ENOENT) return -6;
  if (errnoValue == EEXIST) return -7;
  return -errnoValue;
}

// The device code of a failed file-system call. Errors outside the generic and system
// categories (which hold errno values on this platform) are sent as EFAULT.
[[nodiscard]] inline int DeviceErrorCode(const std::error_code& error) {
  if (error.category() == std::generic_category() || error.category() == std::system_category()) {
    return DeviceErrorCode(error.value());
  }
  return DeviceErrorCode(EFAULT);
}

// The system's text for an error number, as the device is told it.
[[nodiscard]] inline std::string DeviceErrorText(int errnoValue) {
  return std::generic_category().message(errnoValue);
}

}  // namespace salvora
