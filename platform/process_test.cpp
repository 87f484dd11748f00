#include "platform/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// A child that sleeps until killed. Returns its id.
pid_t SleepingChild() {
  pid_t pid = fork();
  if (pid == 0) {
    for (;;) pause();
  }
  return pid;
}

TEST(ProcessTest, CurrentIdIsOurs) {
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
}

TEST(ProcessTest, KillsAnotherProcess) {
  pid_t child = SleepingChild();
  ASSERT_GT(child, 0);
  HANDLE h = OpenProcess(PROCESS_TERMINATE, 0, static_cast<DWORD>(child));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(TerminateProcess(h, 0), 1);
  EXPECT_EQ(CloseHandle(h), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

TEST(ProcessTest, RightsAreChecked) {
  pid_t child = SleepingChild();
  ASSERT_GT(child, 0);
  HANDLE h = OpenProcess(0, 0, static_cast<DWORD>(child));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(TerminateProcess(h, 0), 0) << "no PROCESS_TERMINATE";
  CloseHandle(h);
  EXPECT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "child still runs";
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

// Ids that are no single process must give no handle: passed on to kill()
// they would signal the whole process group (0) or every process (-1).
TEST(ProcessTest, IdsThatNameNoProcessGiveNoHandle) {
  pid_t reaped = fork();
  if (reaped == 0) _exit(0);
  waitpid(reaped, nullptr, 0);
  struct Case {
    const char* what;
    DWORD id;
  } cases[] = {
      {"zero", 0},
      {"all bits (kill -1)", 0xFFFFFFFFu},
      {"negative as pid_t", 0x80000001u},
      {"process that has ended", static_cast<DWORD>(reaped)},
  };
  for (const Case& c : cases) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE, 0, c.id);
    EXPECT_EQ(h, nullptr) << c.what;
    EXPECT_EQ(TerminateProcess(h, 0), 0) << c.what;
    EXPECT_EQ(CloseHandle(h), 0) << c.what;
  }
}

std::atomic<bool> spin{true};

// The own process ends there and then with the exit code, while another
// thread is busy, and no clean-up runs: neither atexit functions nor the
// flushing of buffered output.
void EndOwnProcess(UINT code) {
  std::atexit([] { std::fputs("clean-up ran\n", stderr); });
  std::thread([] {
    while (spin.load()) {
    }
  }).detach();
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  std::fputs("buffered", stdout);
  std::fputs("ending\n", stderr);
  HANDLE h = OpenProcess(PROCESS_TERMINATE, 0, GetCurrentProcessId());
  TerminateProcess(h, code);
  std::fputs("still running\n", stderr);
  std::exit(99);
}

TEST(ProcessDeathTest, OwnProcessEndsAtOnceWithItsCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* what;
    UINT code;
    int expect;
  } cases[] = {{"zero", 0, 0}, {"seven", 7, 7}, {"low byte", 0x1FF, 255}};
  for (const Case& c : cases) {
    EXPECT_EXIT(EndOwnProcess(c.code), testing::ExitedWithCode(c.expect),
                testing::AllOf(testing::HasSubstr("ending"),
                               testing::Not(testing::HasSubstr("clean-up")),
                               testing::Not(testing::HasSubstr("still"))))
        << c.what;
  }
}

}  // namespace
