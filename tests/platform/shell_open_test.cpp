#include "platform/ui/shell_open.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <QWidget>
#include <cstdlib>

#include "platform/ui/start_behind.h"
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

// A program started behind the window that has the keyboard learns it from its environment; it
// passes nothing on once its first window is shown, so what it starts later starts as usual.
TEST(ShellOpen, AProgramStartedBehindIsToldThroughItsEnvironmentOnce) {
  testsupport::TempDir dir;
  const auto program = dir / "PalvrenFtp";
  const auto seen = dir / "seen";
  testsupport::writeFile(program, "#!/bin/sh\necho \"${PALVREN_START_BEHIND-none}\" > '" + seen.string() + ".tmp' && mv '" +
                                      seen.string() + ".tmp' '" + seen.string() + "'\n");
  ::chmod(program.c_str(), 0755);
  const auto startedSees = [&](bool (*start)(const QString&)) {
    std::filesystem::remove(seen);
    EXPECT_TRUE(start(QString::fromStdString(program.string())));
    for (int i = 0; i < 100 && !std::filesystem::exists(seen); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return testsupport::readFile(seen);
  };
  EXPECT_EQ(startedSees(&platform::shellOpen), "none\n");
  EXPECT_EQ(startedSees(&platform::shellOpenBehind), "1\n");

  // This process started behind: its first window shows, and the hint goes with it.
  ::setenv(platform::startBehindVariable, "1", 1);
  QWidget window;
  platform::showAtStart(&window);
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_EQ(startedSees(&platform::shellOpen), "none\n");
}

}  // namespace
