// The archive's test and extraction of a large update as the window lives them: it paints, it
// takes its close, and a kill during the installation is mended by the next road.
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <qpa/qwindowsysteminterface.h>
#include <set>
#include <sys/wait.h>

#include "support/child_process.h"
#include "ui_updater_form.h"
#include "updater_fixture.h"

namespace updatertest {
namespace {

namespace fs = std::filesystem;
using platform::MsgIcon;

const QDateTime exeWritten(QDate(2007, 3, 12), QTime(15, 30));
const std::string newProgram = "#!/bin/sh\necho nouvelle version\n";
// Enough files that the test and the extraction each take a while, small enough to stay quick.
constexpr int files = 2000;
constexpr int bytesEach = 24 * 1024;

class UpdaterInstallTest : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    publish("13/03/2007\r\n");
    startServer();
  }
  // An old version installed and running, a new one on the server.
  void prepare() {
    programs.clear();
    shellOpened.clear();
    boxesBeforeOpen.clear();
    boxes = nullptr;
    boxes = std::make_unique<testsupport::ScopedResponder>();
    fs::remove_all(programDir);
    installBackupProgram(exeWritten);
    makeLargeUpdate(webRoot / "rv" / "PalvrenFtp.zip", programDir, newProgram, files, bytesEach);
  }
  // Opens the window with the backup program running; onProgress sees every file event first.
  void openWindow(std::function<void(zip::TZAProcessOperation, zip::TZAProgressPhase)> onProgress = {}) {
    program = &runBackupProgram();
    form = makeForm();
    const zip::TZAFileProgressEvent original = form->ZipArchiver1.OnFileProgress;
    form->ZipArchiver1.OnFileProgress = [original, onProgress](zip::TZABaseArchiver* sender, const std::string& name,
                                                               double progress, zip::TZAProcessOperation operation,
                                                               zip::TZAProgressPhase phase, bool& cancel) {
      if (onProgress) onProgress(operation, phase);
      original(sender, name, progress, operation, phase, cancel);
    };
  }
  bool programIsNew() const { return testsupport::readFile(programDir / "PalvrenFtp") == newProgram; }
  QString exeTarget() const { return QString::fromStdString((programDir / "PalvrenFtp").string()); }
  // The whole new version, and nothing left of the road.
  void expectWholeNewVersion() {
    const InstallState state = installState(programDir);
    EXPECT_EQ(state.newFiles, files);
    EXPECT_EQ(state.oldFiles, 0);
    EXPECT_EQ(state.unfinished, 0);
    EXPECT_TRUE(programIsNew());
    EXPECT_FALSE(fs::exists(zipPath()));
  }
  void expectOldVersion() {
    const InstallState state = installState(programDir);
    EXPECT_EQ(state.newFiles, 0);
    EXPECT_EQ(state.oldFiles, files);
    EXPECT_EQ(state.unfinished, 0);
    EXPECT_FALSE(programIsNew());
    EXPECT_FALSE(fs::exists(zipPath()));
  }

  FakeProgram* program = nullptr;
  std::unique_ptr<updater::TForm1> form;
};

// The window's events run through both steps: a timer of the window ticks, and each tick finds
// the bar somewhere else.
TEST_F(UpdaterInstallTest, TheWindowLivesAndItsBarMovesThroughTheTestAndTheExtraction) {
  prepare();
  zip::TZAProcessOperation operation = zip::poAdd;
  openWindow([&](zip::TZAProcessOperation op, zip::TZAProgressPhase) { operation = op; });
  std::map<zip::TZAProcessOperation, std::vector<int>> seen;  // the bar's value at each tick
  QTimer ticks;
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    if (operation != zip::poAdd) seen[operation].push_back(form->ui->ProgressBar->value());
  });
  ticks.start(0);
  form->ui->BitBtn1->click();

  for (const zip::TZAProcessOperation op : {zip::poTest, zip::poExtract}) {
    SCOPED_TRACE(op == zip::poTest ? "test" : "extraction");
    const std::vector<int>& values = seen[op];
    EXPECT_GE(values.size(), 3u);
    EXPECT_GE(std::set<int>(values.begin(), values.end()).size(), 2u);
  }
  expectWholeNewVersion();
  EXPECT_EQ(onlyBox(MsgIcon::None), finalMessageText());
  EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
}

// A close as the window system sends it, or "Quitter", during the test or the extraction. Before
// the first file is written it is the download's close; after, the installation ends first.
TEST_F(UpdaterInstallTest, ClosingDuringTheTestStopsTheRoadAndDuringTheExtractionWaitsForItsEnd) {
  const QString finishing = QStringLiteral(
      "Installation de la mise à jour PalvrenFtp en cours.\nLa fenêtre se fermera à la fin de l'installation.");
  struct Case {
    const char* name;
    zip::TZAProcessOperation during;
    std::function<void(updater::TForm1&)> close;
  };
  const Case cases[] = {
      {"close box during the test", zip::poTest,
       [](updater::TForm1& f) { QWindowSystemInterface::handleCloseEvent(f.windowHandle()); }},
      {"Quitter during the test", zip::poTest, [](updater::TForm1& f) { f.ui->BitBtn2->click(); }},
      {"close box during the extraction", zip::poExtract,
       [](updater::TForm1& f) { QWindowSystemInterface::handleCloseEvent(f.windowHandle()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prepare();
    int events = 0;
    int eventsAfterClose = -1;
    bool closed = false;
    QString labelAfterClose;
    bool visibleAfterClose = false;
    openWindow([&](zip::TZAProcessOperation operation, zip::TZAProgressPhase phase) {
      if (closed && eventsAfterClose < 0) {
        labelAfterClose = form->ui->Label1->text();
        visibleAfterClose = form->isVisible();
      }
      if (closed) ++eventsAfterClose;
      if (operation != c.during || phase != zip::ppEnd || ++events != 50) return;
      QTimer::singleShot(0, form.get(), [&] {
        c.close(*form);
        closed = true;
        eventsAfterClose = -1;
      });
    });
    form->ui->BitBtn1->click();

    ASSERT_TRUE(closed);
    EXPECT_TRUE(program->endedByKill());
    EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
    EXPECT_TRUE(boxes->asked().empty());
    EXPECT_FALSE(form->isVisible());
    if (c.during == zip::poTest) {
      // The test ended where it was: nothing of the new version reached the program folder.
      EXPECT_LT(eventsAfterClose, 2 * files / 2);
      expectOldVersion();
    } else {
      EXPECT_TRUE(visibleAfterClose);
      EXPECT_EQ(labelAfterClose, finishing);
      expectWholeNewVersion();
    }
  }
}

// The real updater in a folder of its own, with its backup program running.
class UpdaterChildTest : public UpdaterInstallTest {
 protected:
  std::unique_ptr<testsupport::ChildProcess> startUpdater() {
    prepare();
    fs::copy_file(PALVREN_UPDATE_CHILD, programDir / "Update");
    program = &runBackupProgram();
    return std::make_unique<testsupport::ChildProcess>(std::vector<std::string>{
        (programDir / "Update").string(), QStringLiteral("127.0.0.1:%1").arg(server->port()).toStdString()});
  }
  // Reads the updater's lines until one equals line; all of them in seen.
  bool waitFor(testsupport::ChildProcess& child, const std::string& line, std::vector<std::string>& seen) {
    for (std::string l = child.readLine(60000); !l.empty(); l = child.readLine(60000)) {
      seen.push_back(l);
      if (l == line) return true;
    }
    return false;
  }
  static bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

// A terminate signal ("Fin de processus" of the window manager) is one more close.
TEST_F(UpdaterChildTest, TerminateSignalIsACloseOfTheWindow) {
  struct Case {
    const char* name;
    std::string sendAt;
    bool installed;
  };
  const Case cases[] = {
      {"during the test", "test", false},
      {"during the extraction", "extracted 50", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto updater = startUpdater();
    std::vector<std::string> lines;
    ASSERT_TRUE(waitFor(*updater, c.sendAt, lines));
    updater->signal(SIGTERM);
    waitFor(*updater, "end 0", lines);
    const int status = updater->wait(10000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(program->endedByKill());
    EXPECT_TRUE(contains(lines, "open " + exeTarget().toStdString()));
    for (const std::string& l : lines) EXPECT_NE(l.rfind("box ", 0), 0u) << l;
    if (c.installed) expectWholeNewVersion();
    else expectOldVersion();
  }
}

// Killed outright half way through the extraction, the updater leaves a mix; the next road sees the
// program still out of date and installs the whole new version again.
TEST_F(UpdaterChildTest, KilledDuringTheExtractionTheNextRoadInstallsTheWholeVersion) {
  auto updater = startUpdater();
  std::vector<std::string> lines;
  ASSERT_TRUE(waitFor(*updater, "extracted " + std::to_string(files / 3), lines));
  updater->signal(SIGKILL);
  const int status = updater->wait(10000);
  ASSERT_TRUE(WIFSIGNALED(status));
  const InstallState mixed = installState(programDir);
  EXPECT_GT(mixed.oldFiles, 0);
  EXPECT_FALSE(programIsNew());
  EXPECT_TRUE(fs::exists(zipPath()));

  programs.clear();
  program = &runBackupProgram();
  form = makeForm();
  form->ui->BitBtn1->click();
  EXPECT_TRUE(program->endedByKill());
  expectWholeNewVersion();
  EXPECT_EQ(onlyBox(MsgIcon::None), finalMessageText());

  // Now up to date: the executable's date is the new version's.
  form = makeForm();
  form->ui->BitBtn1->click();
  EXPECT_EQ(form->ui->Label1->text(), noNewVersionText());
}

}  // namespace
}  // namespace updatertest
