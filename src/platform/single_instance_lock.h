// A machine-wide named lock, held for the life of the process that took it.
//
// On this platform the lock is an flock() on a file named after the lock in
// $XDG_RUNTIME_DIR (else /tmp). The kernel releases it when the holder ends, however it
// ends, so a crashed instance never blocks the next start.
#pragma once

#include <filesystem>
#include <string>

namespace salvora::platform {

class SingleInstanceLock {
 public:
  enum class State { kAcquired, kHeldElsewhere, kError };

  // Tries to take the lock `name` (for example "Global\\App_Lock"; a "Global\\" or "Local\\"
  // prefix is dropped from the file name). Never blocks.
  explicit SingleInstanceLock(const std::string& name);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  [[nodiscard]] State state() const { return state_; }
  [[nodiscard]] const std::filesystem::path& file() const { return file_; }

  // Where the lock file of `name` lies.
  [[nodiscard]] static std::filesystem::path LockFileFor(const std::string& name);

 private:
  int fd_ = -1;
  State state_ = State::kError;
  std::filesystem::path file_;
};

}  // namespace salvora::platform
