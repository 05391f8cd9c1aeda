#include "platform/child_process.h"

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace salvora::platform {
namespace {

using namespace std::chrono_literals;

std::string ReadAll(ChildProcess& child) {
  std::string out;
  char buf[256];
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    long n = child.ReadAvailable(buf, sizeof buf);
    if (n < 0) break;
    if (n == 0) {
      std::this_thread::sleep_for(1ms);
      continue;
    }
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

TEST(ChildProcessTest, CapturesOutputAndErrorAndExitStatus) {
  ChildProcess child;
  ASSERT_EQ(child.Start("/bin/sh", {"-c", "echo out; echo err >&2; exit 3"}), 0);
  std::string out = ReadAll(child);
  EXPECT_NE(out.find("out\n"), std::string::npos);
  EXPECT_NE(out.find("err\n"), std::string::npos);
  ASSERT_TRUE(child.WaitForExit(10s));
  EXPECT_EQ(child.exit_status(), 3);
}

TEST(ChildProcessTest, ArgumentsWithBlanksStayWhole) {
  ChildProcess child;
  ASSERT_EQ(child.Start("/bin/sh", {"-c", "printf '[%s]' \"$@\"", "sh", "a b", "c\"d"}), 0);
  EXPECT_EQ(ReadAll(child), "[a b][c\"d]");
}

TEST(ChildProcessTest, MissingProgramFailsToStart) {
  ChildProcess child;
  EXPECT_NE(child.Start("/no/such/program", {}), 0);
  EXPECT_FALSE(child.running());
}

TEST(ChildProcessTest, TerminatesOnlyChildrenItStarted) {
  // A process of the same name that this program did not start through ChildProcess.
  pid_t stranger = ::fork();
  if (stranger == 0) {
    ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ChildProcess ours;
  ASSERT_EQ(ours.Start("/bin/sleep", {"30"}), 0);

  EXPECT_EQ(TerminateChildrenNamed("Sleep"), 0);  // letter case matters
  EXPECT_EQ(TerminateChildrenNamed("sleep"), 1);
  EXPECT_TRUE(ours.WaitForExit(10s));

  int status = 0;
  EXPECT_EQ(::waitpid(stranger, &status, WNOHANG), 0) << "the stranger must still run";
  ::kill(stranger, SIGKILL);
  ::waitpid(stranger, &status, 0);
}

}  // namespace
}  // namespace salvora::platform
