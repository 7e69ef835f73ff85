// The real program's close question on a desktop with a window manager, answered with the keys
// and the close button a user has.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/x_desktop.h"

namespace {

namespace fs = std::filesystem;
using testsupport::XDesktop;

TEST(CloseQuestionOnScreen, EscapeAndNonKeepTheProgramTheBoxCloseButtonEndsIt) {
  if (const std::string missing = XDesktop::missingTools(); !missing.empty()) GTEST_SKIP() << "missing: " << missing;
  XDesktop desktop;
  ASSERT_TRUE(desktop.ready()) << desktop.failure();
  const struct {
    const char* name;
    std::function<void(unsigned long box)> answer;
    bool ends;
  } cases[] = {
      {"Escape", [&](unsigned long) { desktop.key("Escape"); }, false},
      {"&Non", [&](unsigned long) { desktop.key("alt+n"); }, false},
      {"&Oui", [&](unsigned long) { desktop.key("alt+o"); }, true},
      {"the box's close button", [&](unsigned long box) { desktop.clickCloseButton(box); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir folder, runtime;
    fs::copy_file(PALVREN_PROGRAM, folder / "PalvrenFtp");
    std::vector<std::string> env = desktop.env();
    env.push_back("XDG_RUNTIME_DIR=" + runtime.str());
    testsupport::ChildProcess program({(folder / "PalvrenFtp").string()}, env);

    // Without settings the main window stays on screen; its close button asks the question.
    unsigned long main = 0;
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
          main = desktop.activeWindow();
          return main != 0 && desktop.windowName(main) == "PalvrenFtp";
        },
        20000));
    desktop.clickCloseButton(main);
    unsigned long box = 0;
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
          box = desktop.activeWindow();
          return box != main && desktop.windowName(box) == "PalvrenFtp";
        },
        10000));
    c.answer(box);

    if (c.ends) {
      EXPECT_NE(program.wait(10000), -1) << "the program still runs";
      EXPECT_NE(testsupport::readFiles(folder.path(), ".log").find(" : Arrêt de PalvrenFtp"), std::string::npos);
    } else {
      // Hidden (to the tray, or minimised without one), still running, settings saved.
      EXPECT_TRUE(testsupport::waitUntil([&] { return desktop.windowsNamed("PalvrenFtp").empty(); }, 10000));
      EXPECT_EQ(program.wait(1000), -1) << "the program ended";
      EXPECT_TRUE(fs::exists(folder / "serie.ini"));
      EXPECT_EQ(testsupport::readFiles(folder.path(), ".log").find("Arrêt"), std::string::npos);
    }
  }
}

}  // namespace
