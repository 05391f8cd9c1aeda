// An owning POSIX file descriptor: closed when the owner goes, so that every early return
// releases it.
#pragma once

#include <unistd.h>

#include <cerrno>

namespace salvora::platform {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { (void)Close(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      (void)Close();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }

  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool ok() const { return fd_ >= 0; }

  // Closes now. Returns 0, or the errno of a failed close (which can carry a late write
  // error); the descriptor is released either way.
  int Close() {
    int rc = 0;
    if (fd_ >= 0 && ::close(fd_) != 0) rc = errno;
    fd_ = -1;
    return rc;
  }

 private:
  int fd_ = -1;
};

}  // namespace salvora::platform
