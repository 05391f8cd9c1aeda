#include "platform/single_instance_lock.h"

#include <cstdlib>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace salvora::platform {
namespace {

// The state another process sees for `name`, as an exit code of a forked child.
int StateSeenByAnotherProcess(const std::string& name) {
  pid_t pid = ::fork();
  if (pid == 0) {
    SingleInstanceLock lock(name);
    ::_exit(static_cast<int>(lock.state()));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SingleInstanceLockTest, SecondProcessLearnsThatTheFirstRuns) {
  std::string name = "Global\\salvora_lock_test_" + std::to_string(::getpid());
  {
    SingleInstanceLock first(name);
    ASSERT_EQ(first.state(), SingleInstanceLock::State::kAcquired);
    EXPECT_EQ(first.file().filename(), "salvora_lock_test_" + std::to_string(::getpid()) + ".lock");
    EXPECT_EQ(StateSeenByAnotherProcess(name),
              static_cast<int>(SingleInstanceLock::State::kHeldElsewhere));
  }
  // Released with its holder: the next start gets it.
  EXPECT_EQ(StateSeenByAnotherProcess(name), static_cast<int>(SingleInstanceLock::State::kAcquired));
  ::unlink(SingleInstanceLock::LockFileFor(name).c_str());
}

}  // namespace
}  // namespace salvora::platform
