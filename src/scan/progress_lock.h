// The progress lock of a scan: the engine's progress callback takes it for each report, and
// the controlling thread holds it for as long as a scan is paused or a stop question is
// open. Unlike std::mutex it may be released by a thread other than the one that took it
// (a pause may be lifted from wherever the program handles the resume), and it meets the
// standard Lockable requirements, so std::lock_guard and std::unique_lock work with it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace salvora {

class ProgressLock {
 public:
  // Blocks until the lock is free and every earlier waiter has had it, then takes it. Takers
  // are served in arrival order, so a pause is not starved by a worker that reports in a
  // tight loop.
  void lock() {
    std::unique_lock<std::mutex> guard(mutex_);
    const uint64_t ticket = nextTicket_++;
    turn_.wait(guard, [&] { return serving_ == ticket; });
  }
  // Takes the lock when nobody holds it or waits for it; false otherwise.
  bool try_lock() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (serving_ != nextTicket_) return false;
    ++nextTicket_;
    return true;
  }
  // Releases the lock. Must be held.
  void unlock() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      ++serving_;
    }
    turn_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  uint64_t nextTicket_ = 0;  // the ticket the next taker draws
  uint64_t serving_ = 0;     // the ticket that holds (or may take) the lock
};

}  // namespace salvora
