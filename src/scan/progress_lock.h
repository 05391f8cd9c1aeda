// The progress lock of a scan: the engine's progress callback takes it for each report, and
// the controlling thread holds it for as long as a scan is paused or a stop question is
// open. Unlike std::mutex it may be released by a thread other than the one that took it
// (a pause may be lifted from wherever the program handles the resume), and it meets the
// standard Lockable requirements, so std::lock_guard and std::unique_lock work with it.
#pragma once

#include <condition_variable>
#include <mutex>

namespace salvora {

class ProgressLock {
 public:
  // Blocks until the lock is free, then takes it.
  void lock() {
    std::unique_lock<std::mutex> guard(mutex_);
    freed_.wait(guard, [this] { return !held_; });
    held_ = true;
  }
  // Takes the lock when it is free; false otherwise.
  bool try_lock() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (held_) return false;
    held_ = true;
    return true;
  }
  // Releases the lock. Must be held.
  void unlock() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      held_ = false;
    }
    freed_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  bool held_ = false;
};

}  // namespace salvora
