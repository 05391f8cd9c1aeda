#include "platform/mobile_device_service.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace salvora::platform {
namespace {

constexpr const char* kDefaultSocket = "/var/run/usbmuxd";
constexpr int kConnectTimeoutMs = 1000;

// Connects `fd` without blocking longer than the timeout; true on success.
bool ConnectWithTimeout(int fd, const sockaddr* address, socklen_t length) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  if (::connect(fd, address, length) == 0) return true;
  if (errno != EINPROGRESS && errno != EAGAIN) return false;
  pollfd pfd{fd, POLLOUT, 0};
  if (::poll(&pfd, 1, kConnectTimeoutMs) != 1) return false;
  int error = 0;
  socklen_t size = sizeof(error);
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool ReachUnixSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = ConnectWithTimeout(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  ::close(fd);
  return ok;
}

bool ReachTcp(std::string_view hostPort) {
  // "host:port", or "[v6 address]:port".
  size_t colon = hostPort.rfind(':');
  if (colon == std::string_view::npos || colon + 1 >= hostPort.size()) return false;
  std::string host(hostPort.substr(0, colon));
  std::string port(hostPort.substr(colon + 1));
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* results = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &results) != 0) return false;
  bool ok = false;
  for (addrinfo* entry = results; entry != nullptr && !ok; entry = entry->ai_next) {
    int fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
    if (fd < 0) continue;
    ok = ConnectWithTimeout(fd, entry->ai_addr, entry->ai_addrlen);
    ::close(fd);
  }
  ::freeaddrinfo(results);
  return ok;
}

}  // namespace

std::string MobileDeviceServiceAddress() {
  const char* env = std::getenv("USBMUXD_SOCKET_ADDRESS");
  if (env != nullptr && *env != '\0') return env;
  return kDefaultSocket;
}

bool IsMobileDeviceServiceReachable() {
  std::string address = MobileDeviceServiceAddress();
  std::string_view view(address);
  if (view.substr(0, 5) == "UNIX:") return ReachUnixSocket(std::string(view.substr(5)));
  if (!view.empty() && view.front() == '/') return ReachUnixSocket(address);
  return ReachTcp(view);
}

}  // namespace salvora::platform
