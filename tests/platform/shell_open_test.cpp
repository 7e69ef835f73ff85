#include "platform/ui/shell_open.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/temp_dir.h"

namespace {

TEST(ShellOpen, AnExecutableIsStartedWithoutWaiting) {
  testsupport::TempDir dir;
  const auto program = dir / "Update";
  const auto mark = dir / "ran";
  testsupport::writeFile(program, "#!/bin/sh\ntouch '" + mark.string() + "'\n");
  ::chmod(program.c_str(), 0755);
  ASSERT_TRUE(platform::shellOpen(QString::fromStdString(program.string())));
  for (int i = 0; i < 100 && !std::filesystem::exists(mark); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(std::filesystem::exists(mark));
}

TEST(ShellOpen, AMissingProgramIsQuietlyNotStarted) {
  testsupport::TempDir dir;
  EXPECT_FALSE(platform::shellOpen(QString::fromStdString((dir / "Update").string())));
}

}  // namespace
