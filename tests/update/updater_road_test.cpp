// The update road against a real web server, over a temporary program folder.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <functional>
#include <qpa/qwindowsysteminterface.h>

#include "support/random_bytes.h"
#include "ui_updater_form.h"
#include "update/update_server.h"
#include "updater_fixture.h"

namespace updatertest {
namespace {

namespace fs = std::filesystem;
using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

const QDateTime exeWritten(QDate(2007, 3, 12), QTime(15, 30));
const std::string newProgram = "#!/bin/sh\necho nouvelle version\n";
const std::string notes(150000, 'n');  // large enough for several progress blocks

std::string updateArchive() {
  return zipOf({{"PalvrenFtp", newProgram, true}, {"lisezmoi.txt", "Nouveautés"}, {"docs/aide.txt", notes}});
}

class UpdaterRoadTest : public UpdaterTest {
 protected:
  // Starts the backup program, opens the window and presses "Mise à jour".
  void runRoad() {
    program = &runBackupProgram();
    form = makeForm();
    form->ui->BitBtn1->click();
  }
  // Another attempt within one test: fresh answers for the boxes, the programs of the last one gone.
  void runRoadAgain(std::vector<MsgAnswer> answers = {}) {
    shellOpened.clear();
    boxesBeforeOpen.clear();
    boxes = nullptr;
    boxes = std::make_unique<testsupport::ScopedResponder>(std::move(answers));
    programs.clear();
    runRoad();
  }
  QString exeTarget() const { return QString::fromStdString((programDir / "PalvrenFtp").string()); }
  QString restartedText() const { return QStringLiteral("L'ancienne version de PalvrenFtp a été redémarrée."); }
  bool installed() const { return fs::exists(programDir / "docs" / "aide.txt"); }
  // The program folder as it was before: the old program and nothing extracted.
  void expectUntouched() {
    EXPECT_FALSE(installed());
    EXPECT_NE(testsupport::readFile(programDir / "PalvrenFtp"), newProgram);
  }
  // The road's last box may wait long for its "OK": backups run again before it shows.
  void expectRestartedBeforeTheLastBox() {
    ASSERT_EQ(boxesBeforeOpen.size(), 1u);
    ASSERT_GE(boxes->asked().size(), 1u);
    EXPECT_EQ(boxesBeforeOpen.back(), boxes->asked().size() - 1);
  }
  // A download given up: the old program runs again before the box, the file is gone, the status
  // line says what happened, and only "Quitter" is left.
  void expectFailedDownload(const QString& what) {
    EXPECT_TRUE(program->endedByKill());
    EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
    expectRestartedBeforeTheLastBox();
    EXPECT_FALSE(fs::exists(fs::symlink_status(zipPath())));
    EXPECT_FALSE(form->ui->BitBtn1->isEnabled());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->ui->Label1->text(), what + QStringLiteral("\n") + restartedText());
  }
  void expectFinished() {
    EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
    EXPECT_FALSE(fs::exists(zipPath()));
    EXPECT_EQ(onlyBox(MsgIcon::None), finalMessageText());
    expectRestartedBeforeTheLastBox();
    EXPECT_FALSE(form->isVisible());
  }

  FakeProgram* program = nullptr;
  std::unique_ptr<updater::TForm1> form;
};

TEST_F(UpdaterRoadTest, PageDateAgainstExecutableDate) {
  struct Case {
    std::string page;
    bool updates;
  };
  const Case cases[] = {
      {"11/03/2007\r\nNotes", false},
      {"12/03/2007\r\nNotes", false},  // same day: the executable's time of day does not count
      {"13/03/2007\r\nNotes", true},
      {"13/03/2007", true},
      {" 13/03/2007 \n", true},
      {"", false},  // an empty body reads as "0"
      {"0\r\n13/03/2007", false},
      {"\r\n13/03/2007", false},
      {"\n\r13/03/2007", false},
  };
  publish("", updateArchive());
  startServer();
  for (const Case& c : cases) {
    SCOPED_TRACE("page: " + c.page);
    programs.clear();
    installBackupProgram(exeWritten);
    fs::remove_all(programDir / "docs");
    publish(c.page);
    shellOpened.clear();
    runRoad();

    EXPECT_EQ(c.updates ? program->endedByKill() : !program->running(), c.updates);
    EXPECT_EQ(installed(), c.updates);
    EXPECT_EQ(shellOpened.size(), c.updates ? 1u : 0u);
    EXPECT_TRUE(form->ui->BitBtn1->isEnabled());
    EXPECT_EQ(form->isVisible(), !c.updates);
    if (!c.updates) {
      EXPECT_EQ(form->ui->Label1->text(), noNewVersionText());
    }
    const std::vector<std::string> expected =
        c.updates ? std::vector<std::string>{"/palvrenftp/update.html", "/rv/PalvrenFtp.zip"}
                  : std::vector<std::string>{"/palvrenftp/update.html"};
    EXPECT_EQ(requestedPaths(), expected);
  }
}

TEST_F(UpdaterRoadTest, NewerPageInstallsTheArchiveOverTheProgramFolder) {
  installBackupProgram(exeWritten);
  publish("13/03/2007\r\nNouvelle version\r\n", updateArchive());
  startServer();
  runRoad();

  EXPECT_TRUE(program->endedByKill());
  EXPECT_EQ(testsupport::readFile(programDir / "PalvrenFtp"), newProgram);
  EXPECT_NE(fs::status(programDir / "PalvrenFtp").permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_EQ(testsupport::readFile(programDir / "lisezmoi.txt"), "Nouveautés");
  EXPECT_EQ(testsupport::readFile(programDir / "docs" / "aide.txt"), notes);
  EXPECT_EQ(form->ui->ProgressBar->maximum(), 100);
  EXPECT_EQ(form->ui->ProgressBar->value(), 100);  // the last file's end
  EXPECT_EQ(form->ui->Label1->text(), QStringLiteral("Mise à jour de PalvrenFtp terminée."));
  EXPECT_TRUE(form->ui->BitBtn1->isEnabled());
  EXPECT_EQ(form->PageDate, 39154.0);  // 13 March 2007
  EXPECT_EQ(form->ExeDate, 39153.0);
  expectFinished();
}

TEST_F(UpdaterRoadTest, UnreadablePageDateEndsTheRoadBeforeAnythingIsStopped) {
  installBackupProgram(exeWritten);
  publish("version 2\r\n", updateArchive());
  startServer();
  runRoad();

  EXPECT_EQ(onlyBox(MsgIcon::Error), QStringLiteral("'version 2' n'est pas une date correcte"));
  EXPECT_TRUE(program->running());
  EXPECT_EQ(requestedPaths(), std::vector<std::string>{"/palvrenftp/update.html"});
  EXPECT_TRUE(shellOpened.empty());
  EXPECT_FALSE(form->ui->BitBtn1->isEnabled());
  EXPECT_TRUE(form->isVisible());
}

TEST_F(UpdaterRoadTest, AbsentServerFindsNoNewVersion) {
  installBackupProgram(exeWritten);
  startServer();
  server->stop();  // its port is free now: nothing answers there
  runRoad();

  EXPECT_EQ(form->ui->Label1->text(), noNewVersionText());
  EXPECT_EQ(form->PageDate, 0.0);
  EXPECT_TRUE(form->ui->BitBtn1->isEnabled());
  EXPECT_TRUE(program->running());
  EXPECT_TRUE(boxes->asked().empty());
}

TEST_F(UpdaterRoadTest, MissingExecutableStopsAtOnce) {
  publish("13/03/2007", updateArchive());
  startServer();
  form = makeForm();
  form->ui->BitBtn1->click();

  EXPECT_EQ(form->ui->Label1->text(),
            QStringLiteral("La mise à jour, ne trouve pas le fichier d'origine\nPalvrenFtp sur votre ordinateur."));
  EXPECT_FALSE(form->ui->BitBtn1->isEnabled());
  EXPECT_TRUE(requestedPaths().empty());
}

TEST_F(UpdaterRoadTest, FailedDownloadIsNeverExtractedAndTheOldVersionRunsAgain) {
  struct Case {
    const char* name;
    bool publishArchive;
    std::vector<std::string> serverArgs;
    bool fullDisk;  // the archive's file writes to /dev/full
    QString messageStart;
  };
  const Case cases[] = {
      {"archive missing", false, {}, false, QStringLiteral("Erreur durant le téléchargement : HTTP/1.0 404")},
      {"connection dropped",
       true,
       {"--cut", ".zip=100"},
       false,
       QStringLiteral("Erreur durant le téléchargement : La connexion avec le serveur a été interrompue")},
      {"disk full", true, {}, true, QStringLiteral("Erreur inconnue : ")},
  };
  installBackupProgram(exeWritten);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(webRoot / "rv");
    publish("13/03/2007", c.publishArchive ? std::optional<std::string>(updateArchive()) : std::nullopt);
    startServer(c.serverArgs);
    if (c.fullDisk) fs::create_symlink("/dev/full", zipPath());
    runRoadAgain();

    EXPECT_TRUE(onlyBox(MsgIcon::None).startsWith(c.messageStart)) << onlyBox(MsgIcon::None).toStdString();
    expectUntouched();
    expectFailedDownload(QStringLiteral("Le téléchargement de la mise à jour PalvrenFtp a échoué."));
  }
}

// The window closed while a slow server sends the archive, by "Quitter" or by the window system's
// close (the close box, the window manager), delivered through the window's event processing
// during the transfer: every way takes the same road.
TEST_F(UpdaterRoadTest, ClosingDuringTheDownloadStopsItAndRestartsTheOldVersion) {
  const std::string archive =
      zipOf({{"PalvrenFtp", newProgram, true}, {"gros.bin", testsupport::randomBytes(1 << 20, 7)}}, true);
  installBackupProgram(exeWritten);
  publish("13/03/2007", archive);
  startServer({"--chunk-delay", "20"});
  struct Case {
    const char* name;
    std::function<void(updater::TForm1&)> close;
  };
  const Case cases[] = {
      {"Quitter", [](updater::TForm1& f) { f.ui->BitBtn2->click(); }},
      {"close box", [](updater::TForm1& f) { QWindowSystemInterface::handleCloseEvent(f.windowHandle()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shellOpened.clear();
    programs.clear();
    program = &runBackupProgram();
    form = makeForm();
    std::int64_t expected = 0;
    std::int64_t received = 0;
    std::int64_t receivedAtClose = -1;
    const net::WorkEvents original = form->IdHTTP1.events;
    form->IdHTTP1.events.onWorkBegin = [&](net::WorkMode mode, std::int64_t max) {
      expected = max;
      original.onWorkBegin(mode, max);
    };
    form->IdHTTP1.events.onWork = [&](net::WorkMode mode, std::int64_t count) {
      received = count;
      if (expected == static_cast<std::int64_t>(archive.size()) && receivedAtClose < 0) {
        receivedAtClose = count;
        QTimer::singleShot(0, form.get(), [&] { c.close(*form); });
      }
      original.onWork(mode, count);
    };
    form->ui->BitBtn1->click();

    ASSERT_GT(receivedAtClose, 0);
    // The transfer ended where it was: a block or two more at most, never the rest of the archive.
    EXPECT_LT(received, static_cast<std::int64_t>(archive.size()) / 2);
    EXPECT_TRUE(program->endedByKill());
    EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
    EXPECT_FALSE(fs::exists(fs::symlink_status(zipPath())));
    expectUntouched();
    EXPECT_TRUE(boxes->asked().empty());
    EXPECT_FALSE(form->isVisible());
  }
}

TEST_F(UpdaterRoadTest, ArchiveThatCannotBeCreatedEndsTheRoadWithTheProgramRestarted) {
  installBackupProgram(exeWritten);
  publish("13/03/2007", updateArchive());
  startServer();
  fs::create_directory(zipPath());
  runRoad();

  EXPECT_TRUE(program->endedByKill());
  EXPECT_TRUE(onlyBox(MsgIcon::Error)
                  .startsWith(QStringLiteral("Impossible de créer le fichier \"") +
                              QString::fromStdString(zipPath().string()) + QStringLiteral("\". ")));
  EXPECT_EQ(requestedPaths(), std::vector<std::string>{"/palvrenftp/update.html"});
  EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
  expectRestartedBeforeTheLastBox();
  expectUntouched();
  EXPECT_FALSE(form->ui->BitBtn1->isEnabled());
  EXPECT_EQ(form->ui->Label1->text(),
            QStringLiteral("L'archive de la mise à jour PalvrenFtp n'a pas pu être créée.\n") + restartedText());
}

// Only an archive that opens and whose every entry reads back whole is installed. Anything else is
// a failed download: the old program stays byte for byte and runs again, the file goes.
TEST_F(UpdaterRoadTest, ArchiveThatDoesNotTestWholeIsAFailedDownload) {
  const std::string oldProgram = [this] {
    installBackupProgram(exeWritten);
    return testsupport::readFile(programDir / "PalvrenFtp");
  }();
  const std::string newBinary = newProgram + testsupport::randomBytes(200 * 1024, 10);
  const std::string archive = zipOf({{"bruit1.bin", testsupport::randomBytes(200 * 1024, 11)},
                                     {"PalvrenFtp", newBinary, true},
                                     {"lisezmoi.txt", "Nouveautés"},
                                     {"bruit2.bin", testsupport::randomBytes(200 * 1024, 12)}},
                                    true);
  // Where the central directory starts, as the end record says.
  const std::size_t endRecord = archive.size() - 22;
  std::size_t centralDirectory = 0;
  for (int i = 3; i >= 0; --i)
    centralDirectory = centralDirectory * 256 + static_cast<unsigned char>(archive[endRecord + 16 + i]);
  std::string damaged = archive;
  ASSERT_NE(damaged.find(newBinary), std::string::npos);
  damaged[damaged.find(newBinary) + newBinary.size() / 2] ^= 0x55;  // a check sum that no longer matches

  struct Case {
    const char* name;
    std::string archive;
    std::vector<std::string> serverArgs;
    QString fault;  // how the box's reason starts
  };
  const Case cases[] = {
      // HTTP/1.0 with no length: the closed connection reads as the end of the body.
      {"cut half-way, no length",
       archive,
       {"--no-length", "--cut", ".zip=" + std::to_string(archive.size() / 2)},
       QStringLiteral("ZipArchiver1: ")},
      {"every entry but no directory",
       archive,
       {"--no-length", "--cut", ".zip=" + std::to_string(centralDirectory)},
       QStringLiteral("ZipArchiver1: ")},
      {"end record cut short",
       archive,
       {"--no-length", "--cut", ".zip=" + std::to_string(archive.size() - 5)},
       QStringLiteral("ZipArchiver1: ")},
      {"not an archive",
       "Ceci n'est pas une archive ZIP.\n",
       {},
       QStringLiteral("ZipArchiver1: Archive is damaged. Open failed - Native error: 00048")},
      {"damaged entry", damaged, {}, QStringLiteral("PalvrenFtp : ")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    publish("13/03/2007", c.archive);
    startServer(c.serverArgs);
    runRoadAgain();

    const QString box = onlyBox(MsgIcon::None);
    EXPECT_TRUE(box.startsWith(
        QStringLiteral("Erreur durant le téléchargement : l'archive reçue est incomplète ou endommagée (") + c.fault))
        << box.toStdString();
    // No question about an entry: nothing was extracted to fail.
    EXPECT_EQ(boxes->asked().size(), 1u);
    EXPECT_EQ(testsupport::readFile(programDir / "PalvrenFtp"), oldProgram);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(programDir)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"PalvrenFtp"});
    expectFailedDownload(QStringLiteral("L'archive de la mise à jour PalvrenFtp est incomplète ou endommagée."));
    EXPECT_EQ(form->ui->ProgressBar->value(), form->ui->ProgressBar->minimum());
  }
}

// An entry that tested whole but cannot be written is put to the user, and whatever the answer the
// road ends as a completed one.
TEST_F(UpdaterRoadTest, EntriesThatFailAreAskedAboutAndTheRoadGoesOn) {
  // A folder where the archive has a file: the entry cannot be written there.
  const std::string blocked = zipOf({{"docs/aide.txt", notes}, {"PalvrenFtp", newProgram, true}});
  struct Case {
    const char* name;
    std::string archive;
    std::vector<MsgAnswer> answers;  // one per question
    std::vector<std::string> extracted;
    std::vector<std::string> absent;
    bool programReplaced;
  };
  const Case cases[] = {
      {"outside the folder",
       zipWithNames({{"../dehors.txt", "x"}, {"docs/../../dehors2.txt", "x"}, {"dedans.txt", "ok"}}),
       {MsgAnswer::Ignore, MsgAnswer::Ignore},
       {"app/dedans.txt"},
       {"dehors.txt", "dehors2.txt"},
       false},
      {"folder in the way, ignored", blocked, {MsgAnswer::Ignore}, {}, {}, true},
      {"folder in the way, aborted", blocked, {MsgAnswer::Abort}, {}, {}, false},
      {"folder in the way, retried then ignored", blocked, {MsgAnswer::Retry, MsgAnswer::Ignore}, {}, {}, true},
  };
  startServer();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    programs.clear();
    fs::remove_all(programDir);
    installBackupProgram(exeWritten);
    fs::create_directories(programDir / "docs" / "aide.txt");
    publish("13/03/2007", c.archive);
    runRoadAgain(c.answers);

    std::size_t questions = 0;
    for (const auto& r : boxes->asked()) {
      if (r.buttons != MsgButtons::AbortRetryIgnore) continue;
      ++questions;
      EXPECT_TRUE(r.text.endsWith(QStringLiteral(". File processing error, possibly disk is full")))
          << r.text.toStdString();
    }
    EXPECT_EQ(questions, c.answers.size());
    for (const std::string& name : c.extracted) EXPECT_TRUE(fs::exists(scratch / name)) << name;
    for (const std::string& name : c.absent) EXPECT_FALSE(fs::exists(scratch / name)) << name;
    EXPECT_TRUE(fs::is_directory(programDir / "docs" / "aide.txt"));
    EXPECT_EQ(testsupport::readFile(programDir / "PalvrenFtp") == newProgram, c.programReplaced);
    expectFinished();
  }
}

}  // namespace
}  // namespace updatertest
