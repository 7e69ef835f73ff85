// The update road against a real web server, over a temporary program folder.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>

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
  QString exeTarget() const { return QString::fromStdString((programDir / "PalvrenFtp").string()); }
  bool installed() const { return fs::exists(programDir / "docs" / "aide.txt"); }
  // The program folder as it was before: the old program and nothing extracted.
  void expectUntouched() {
    EXPECT_FALSE(installed());
    EXPECT_NE(testsupport::readFile(programDir / "PalvrenFtp"), newProgram);
  }
  void expectFinished() {
    EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
    EXPECT_FALSE(fs::exists(zipPath()));
    EXPECT_EQ(onlyBox(MsgIcon::None), finalMessageText());
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
      {"connection dropped", true, {"--cut", ".zip=100"}, false,
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
    shellOpened.clear();
    boxes = nullptr;
    boxes = std::make_unique<platform::ScopedResponder>();
    programs.clear();
    runRoad();

    EXPECT_TRUE(program->endedByKill());
    EXPECT_TRUE(onlyBox(MsgIcon::None).startsWith(c.messageStart)) << onlyBox(MsgIcon::None).toStdString();
    expectUntouched();
    EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
    EXPECT_FALSE(fs::exists(fs::symlink_status(zipPath())));
    EXPECT_TRUE(form->ui->BitBtn1->isEnabled());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->ui->Label1->text().startsWith(QStringLiteral("Le téléchargement de la mise à jour PalvrenFtp a échoué.")));
  }
}

TEST_F(UpdaterRoadTest, ArchiveThatCannotBeCreatedEndsTheRoadWithTheProgramRestarted) {
  installBackupProgram(exeWritten);
  publish("13/03/2007", updateArchive());
  startServer();
  fs::create_directory(zipPath());
  runRoad();

  EXPECT_TRUE(program->endedByKill());
  EXPECT_TRUE(onlyBox(MsgIcon::Error).startsWith(QStringLiteral("Impossible de créer le fichier \"") +
                                                  QString::fromStdString(zipPath().string()) + QStringLiteral("\". ")));
  EXPECT_EQ(requestedPaths(), std::vector<std::string>{"/palvrenftp/update.html"});
  EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
  expectUntouched();
  EXPECT_FALSE(form->ui->BitBtn1->isEnabled());
}

TEST_F(UpdaterRoadTest, ArchiveThatCannotBeOpenedIsKeptAndTheProgramRestarted) {
  installBackupProgram(exeWritten);
  publish("13/03/2007", std::string("Ceci n'est pas une archive ZIP.\n"));
  startServer();
  runRoad();

  EXPECT_TRUE(program->endedByKill());
  EXPECT_EQ(onlyBox(MsgIcon::Error), QStringLiteral("ZipArchiver1: Invalid archive file. - Native error: 00035"));
  EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
  EXPECT_TRUE(fs::exists(zipPath()));
  expectUntouched();
  EXPECT_FALSE(form->ui->BitBtn1->isEnabled());
  EXPECT_TRUE(form->isVisible());
}

// A failing entry is put to the user, and whatever the answer the road ends as a completed one.
TEST_F(UpdaterRoadTest, EntriesThatFailAreAskedAboutAndTheRoadGoesOn) {
  std::string damaged = zipOf({{"docs/aide.txt", notes}, {"PalvrenFtp", newProgram, true}}, true);
  damaged[damaged.find(notes) + 10] = 'X';  // its check sum no longer matches
  struct Case {
    const char* name;
    std::string archive;
    std::vector<MsgAnswer> answers;  // one per question
    std::vector<std::string> extracted;
    std::vector<std::string> absent;
  };
  const Case cases[] = {
      {"outside the folder",
       zipWithNames({{"../dehors.txt", "x"}, {"docs/../../dehors2.txt", "x"}, {"dedans.txt", "ok"}}),
       {MsgAnswer::Ignore, MsgAnswer::Ignore},
       {"app/dedans.txt"},
       {"dehors.txt", "dehors2.txt"}},
      {"damaged, ignored", damaged, {MsgAnswer::Ignore}, {"app/PalvrenFtp"}, {"app/docs/aide.txt"}},
      {"damaged, aborted", damaged, {MsgAnswer::Abort}, {}, {"app/docs/aide.txt"}},
      {"damaged, retried then ignored", damaged, {MsgAnswer::Retry, MsgAnswer::Ignore}, {"app/PalvrenFtp"}, {"app/docs/aide.txt"}},
  };
  startServer();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    programs.clear();
    fs::remove_all(programDir);
    installBackupProgram(exeWritten);
    publish("13/03/2007", c.archive);
    shellOpened.clear();
    boxes = nullptr;
    boxes = std::make_unique<platform::ScopedResponder>(c.answers);
    runRoad();

    std::size_t questions = 0;
    for (const auto& r : boxes->asked()) {
      if (r.buttons != MsgButtons::AbortRetryIgnore) continue;
      ++questions;
      EXPECT_TRUE(r.text.endsWith(QStringLiteral(". File processing error, possibly disk is full"))) << r.text.toStdString();
    }
    EXPECT_EQ(questions, c.answers.size());
    for (const std::string& name : c.extracted) EXPECT_TRUE(fs::exists(scratch / name)) << name;
    for (const std::string& name : c.absent) EXPECT_FALSE(fs::exists(scratch / name)) << name;
    expectFinished();
  }
}

}  // namespace
}  // namespace updatertest
