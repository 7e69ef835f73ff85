// Two real processes of the program: the second start ends at once and leaves the first alone.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace {

pid_t startProgram(const std::string& runtimeDir) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::execl(PALVREN_PROGRAM, PALVREN_PROGRAM, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

// /proc/locks names the holder of every file lock.
bool holdsALock(pid_t pid) {
  std::ifstream locks("/proc/locks");
  std::string line;
  const std::string needle = " " + std::to_string(pid) + " ";
  while (std::getline(locks, line))
    if (line.find("FLOCK") != std::string::npos && line.find(needle) != std::string::npos) return true;
  return false;
}

// Waits (bounded) for a child to end; -1 if it is still running.
int waitExit(pid_t pid, int tenths) {
  for (int i = 0; i < tenths; ++i) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return -1;
}

TEST(ProgramEntry, ASecondStartEndsAtOnceAndLeavesTheFirstRunning) {
  testsupport::TempDir runtime;
  std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace);
  const pid_t first = startProgram(runtime.str());
  bool locked = false;
  for (int i = 0; i < 200 && !locked; ++i) {
    locked = holdsALock(first);
    if (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(locked) << "the first process never took its lock";
  const pid_t second = startProgram(runtime.str());
  const int secondExit = waitExit(second, 300);
  EXPECT_EQ(secondExit, 0);
  if (secondExit == -1) {
    ::kill(second, SIGKILL);
    waitExit(second, 50);
  }
  EXPECT_EQ(waitExit(first, 1), -1) << "the first process ended";
  ::kill(first, SIGTERM);
  EXPECT_NE(waitExit(first, 300), -1);
}

}  // namespace
