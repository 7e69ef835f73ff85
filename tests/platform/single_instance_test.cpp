#include "platform/core/single_instance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/temp_dir.h"

namespace {

// Runs the lock in a second process: its exit code says whether it got the lock.
int lockInChild(const std::string& name) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    platform::SingleInstanceLock lock(name);
    ::_exit(lock.acquired() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SingleInstanceLock, OneHolderAcrossProcesses) {
  testsupport::TempDir runtime;
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
  EXPECT_EQ(platform::SingleInstanceLock::lockPath("PalvrenFtp"), runtime.str() + "/PalvrenFtp.lock");
  {
    platform::SingleInstanceLock first("PalvrenFtp");
    ASSERT_TRUE(first.acquired());
    EXPECT_EQ(lockInChild("PalvrenFtp"), 1);
    EXPECT_EQ(lockInChild("OtherName"), 0);
  }
  EXPECT_EQ(lockInChild("PalvrenFtp"), 0);  // released with its holder
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_NE(
      platform::SingleInstanceLock::lockPath("PalvrenFtp").find("PalvrenFtp-" + std::to_string(::getuid()) + ".lock"),
      std::string::npos);
  if (saved) ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

}  // namespace
