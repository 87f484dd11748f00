#include "app/handlers.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "runtime/window/window.h"

namespace {

TEST(EndProcessTest, EndsAnotherProcessById) {
  pid_t child = fork();
  if (child == 0) {
    for (;;) pause();
  }
  ASSERT_GT(child, 0);
  EXPECT_TRUE(EndProcess(static_cast<std::int32_t>(child)));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

TEST(EndProcessTest, FailsForIdsThatNameNoProcess) {
  pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  struct Case {
    const char* what;
    std::int32_t id;
  } cases[] = {{"ended process", static_cast<std::int32_t>(gone)},
               {"zero (own process group)", 0},
               {"minus one (every process)", -1},
               {"negative (a process group)", -static_cast<int>(getpgrp())}};
  for (const Case& c : cases) EXPECT_FALSE(EndProcess(c.id)) << c.what;
}

std::atomic<bool> busy{true};

void CloseWhileWorking() {
  std::thread([] {
    while (busy.load()) {
    }
  }).detach();
  OnCloseReleased(0, 0, 0);
  _exit(3);  // not reached when the close works
}

TEST(EndProcessDeathTest, CloseEndsTheOwnProcessWithZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(CloseWhileWorking(), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(EndProcess(), testing::ExitedWithCode(0), "");
}

TEST(HandlersTest, WritesWithoutAWindowAreHarmless) {
  OnMinimizeReleased(0, 0, 0);
  OnFramePressed(1, 2, kKeyCtrl);
  OnFrameReleased(1, 2, 0);
  OnFrameDoubleClicked(1, 2, 0);
  OnWindowCreated();
  WriteVisible("MainWindow", "UI", false);
  WritePicture("MainWindow", "UI", Bytes{1, 2, 3});
  WritePicture(nullptr, nullptr, Bytes{});
}

std::atomic<int> ran{0};
std::atomic<std::thread::id> ran_on{};

TEST(StartThreadTest, RunsTheRoutineOnANewThread) {
  ASSERT_TRUE(StartThread([] {
    ran_on.store(std::this_thread::get_id());
    ran.fetch_add(1);
  }));
  while (ran.load() == 0) std::this_thread::yield();
  EXPECT_NE(ran_on.load(), std::this_thread::get_id());
  EXPECT_FALSE(StartThread(nullptr));
}

}  // namespace
