#include "platform/single_instance_lock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace salvora::platform {

std::filesystem::path SingleInstanceLock::LockFileFor(const std::string& name) {
  std::string base = name;
  for (const char* prefix : {"Global\\", "Local\\"}) {
    std::string p(prefix);
    if (base.rfind(p, 0) == 0) base.erase(0, p.size());
  }
  for (char& c : base) {
    if (c == '/' || c == '\\') c = '_';
  }
  std::filesystem::path dir = "/tmp";
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
    dir = runtime;
  }
  return dir / (base + ".lock");
}

SingleInstanceLock::SingleInstanceLock(const std::string& name) : file_(LockFileFor(name)) {
  fd_ = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    state_ = State::kAcquired;
  } else {
    state_ = errno == EWOULDBLOCK ? State::kHeldElsewhere : State::kError;
    ::close(fd_);
    fd_ = -1;
  }
}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace salvora::platform
