// The real updater on a desktop with a window manager, over the real backup program: the program
// runs again while the road's last box waits, and the box keeps the keyboard.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "support/x_desktop.h"
#include "updater_fixture.h"

namespace updatertest {
namespace {

namespace fs = std::filesystem;
using testsupport::waitUntil;
using testsupport::XDesktop;

// The running processes of the backup program of that folder.
std::vector<pid_t> programsOf(const fs::path& folder) {
  std::vector<pid_t> out;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code ec;
    if (fs::read_symlink(entry.path() / "exe", ec) == folder / "PalvrenFtp") out.push_back(std::atoi(name.c_str()));
  }
  return out;
}

TEST(UpdaterOnScreen, TheProgramRunsAgainBehindTheLastBoxWhichKeepsTheKeyboard) {
  if (const std::string missing = XDesktop::missingTools(); !missing.empty()) GTEST_SKIP() << "missing: " << missing;
  XDesktop desktop;
  ASSERT_TRUE(desktop.ready()) << desktop.failure();
  const struct {
    const char* name;
    bool archive;
    bool settings;
  } cases[] = {
      {"installed, without settings", true, false},
      {"installed, with settings", true, true},
      {"download failed, without settings", false, false},
      {"download failed, with settings", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir folder, runtime, web;
    // The old version, dated the day before the version page, and on the server the new one.
    fs::copy_file(PALVREN_PROGRAM, folder / "PalvrenFtp");
    utimbuf old{};
    old.actime = old.modtime = static_cast<time_t>(QDateTime(QDate(2007, 3, 12), QTime(12, 0)).toSecsSinceEpoch());
    ASSERT_EQ(utime((folder / "PalvrenFtp").c_str(), &old), 0);
    fs::copy_file(PALVREN_UPDATE_CHILD, folder / "Update");
    // Settings without a server: a run that a stray Return started would log its refusal.
    if (c.settings) testsupport::writeFile(folder / "serie.ini", "[Form1]\nsauvegarde_auto=0\n");
    testsupport::writeFile(web / "palvrenftp" / "update.html", "13/03/2007\r\n");
    if (c.archive)
      testsupport::writeFile(
          web / "rv" / "PalvrenFtp.zip",
          zipOf({{"PalvrenFtp", testsupport::readFile(PALVREN_PROGRAM), true}, {"lisezmoi.txt", "v2"}}, true));
    testsupport::ServerProcess server("http_server.py", {"--root", web.str()});

    std::vector<std::string> env = desktop.env();
    env.push_back("XDG_RUNTIME_DIR=" + runtime.str());
    auto running = std::make_unique<testsupport::ChildProcess>(std::vector<std::string>{(folder / "PalvrenFtp").string()},
                                                          env);
    ASSERT_TRUE(waitUntil([&] { return !desktop.windowsNamed("PalvrenFtp").empty(); }, 20000));
    testsupport::ChildProcess updater(
        {(folder / "Update").string(), "127.0.0.1:" + std::to_string(server.port()), "on-screen"}, env);

    // The last box waits for its "OK"; the program runs again and has shown its window.
    std::vector<unsigned long> box;
    ASSERT_TRUE(waitUntil([&] { return !(box = desktop.windowsNamed("Mise à jour")).empty(); }, 60000));
    const int stopped = running->wait(5000);
    EXPECT_TRUE(stopped != -1 && WIFSIGNALED(stopped) && WTERMSIG(stopped) == SIGKILL) << "the old program still runs";
    std::vector<unsigned long> window;
    EXPECT_TRUE(waitUntil([&] { return programsOf(folder.path()).size() == 1; }, 10000))
        << "no program runs while the box waits";
    EXPECT_TRUE(waitUntil([&] { return !(window = desktop.windowsNamed("PalvrenFtp")).empty(); }, 10000));
    if (!window.empty()) {
      // Where every start opens it: the middle of the screen.
      const testsupport::XRect r = desktop.geometry(window.front()), screen = desktop.screen();
      EXPECT_NEAR(r.x + r.width / 2, screen.width / 2, 20);
      EXPECT_NEAR(r.y + r.height / 2, screen.height / 2, 20);
    }
    ASSERT_EQ(box.size(), 1u);
    EXPECT_EQ(desktop.activeWindow(), box.front()) << desktop.windowName(desktop.activeWindow());
    // And the box is in sight: the program's window came up below it.
    if (!window.empty()) {
      const std::vector<unsigned long> stack = desktop.stacking();
      const auto boxAt = std::find(stack.begin(), stack.end(), box.front());
      const auto windowAt = std::find(stack.begin(), stack.end(), window.front());
      EXPECT_TRUE(boxAt != stack.end() && windowAt != stack.end() && boxAt > windowAt);
    }

    // Return answers the box (after an installation the updater ends with it); it never reaches
    // the program.
    desktop.key("Return");
    EXPECT_TRUE(waitUntil([&] { return desktop.windowsNamed("Mise à jour").empty(); }, 10000))
        << "the box is still waiting";
    if (c.archive) {
      EXPECT_NE(updater.wait(10000), -1);
    }
    const std::vector<pid_t> after = programsOf(folder.path());
    EXPECT_EQ(after.size(), 1u);
    EXPECT_EQ(testsupport::readFiles(folder.path(), ".log"), "");
    EXPECT_EQ(fs::exists(folder / "lisezmoi.txt"), c.archive);
    for (const pid_t pid : programsOf(folder.path())) kill(pid, SIGKILL);
    waitUntil([&] { return programsOf(folder.path()).empty(); }, 5000);
  }
}

}  // namespace
}  // namespace updatertest
