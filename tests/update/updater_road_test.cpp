// The update road against a real web server, over a temporary program folder.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>

#include "platform/exceptions.h"
#include "ui_updater_form.h"
#include "update/update_server.h"
#include "updater_fixture.h"

namespace updatertest {
namespace {

namespace fs = std::filesystem;
using platform::MsgIcon;

const QDateTime exeWritten(QDate(2007, 3, 12), QTime(15, 30));
const std::string archiveBytes = std::string("PK\x03\x04", 4) + std::string(200000, 'u');

struct Extraction {
  QString archive;
  QString baseDir;
  std::string content;
};

class UpdaterRoadTest : public UpdaterTest {
 protected:
  // An extraction that records what it was given and reports one file's progress.
  void recordExtractions(updater::TForm1& form) {
    form.extractArchive = [this](const QString& archive, const QString& baseDir, const updater::FileProgress& progress) {
      extractions.push_back({archive, baseDir, testsupport::readFile(archive.toStdString())});
      bool cancel = false;
      progress(QStringLiteral("PalvrenFtp"), 0, cancel);
      progress(QStringLiteral("PalvrenFtp"), 57.9, cancel);
    };
  }
  // Starts the backup program, opens the window and presses "Mise à jour".
  void runRoad(const updater::ArchiveExtractor& extractor = {}) {
    program = &runBackupProgram();
    form = makeForm();
    if (extractor) form->extractArchive = extractor;
    else recordExtractions(*form);
    form->ui->BitBtn1->click();
  }
  QString exeTarget() const { return QString::fromStdString((programDir / "PalvrenFtp").string()); }

  std::vector<Extraction> extractions;
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
  installBackupProgram(exeWritten);
  publish("", archiveBytes);
  startServer();
  for (const Case& c : cases) {
    SCOPED_TRACE("page: " + c.page);
    publish(c.page);
    shellOpened.clear();
    extractions.clear();
    programs.clear();
    runRoad();

    EXPECT_EQ(c.updates ? program->endedByKill() : !program->running(), c.updates);
    EXPECT_EQ(extractions.size(), c.updates ? 1u : 0u);
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

TEST_F(UpdaterRoadTest, NewerPageRunsTheWholeRoad) {
  installBackupProgram(exeWritten);
  publish("13/03/2007\r\nNouvelle version\r\n", archiveBytes);
  startServer();
  runRoad();

  EXPECT_TRUE(program->endedByKill());
  ASSERT_EQ(extractions.size(), 1u);
  EXPECT_EQ(extractions[0].archive.toStdString(), zipPath().string());
  EXPECT_EQ(fs::path(extractions[0].baseDir.toStdString()), fs::path(programDir.str() + "/"));
  EXPECT_TRUE(extractions[0].content == archiveBytes) << "downloaded " << extractions[0].content.size() << " bytes";
  EXPECT_EQ(form->ui->ProgressBar->maximum(), 100);
  EXPECT_EQ(form->ui->ProgressBar->value(), 57);
  EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
  EXPECT_FALSE(fs::exists(zipPath()));
  EXPECT_EQ(form->ui->Label1->text(), QStringLiteral("Mise à jour de PalvrenFtp terminée."));
  EXPECT_EQ(onlyBox(MsgIcon::None), finalMessageText());
  EXPECT_TRUE(form->ui->BitBtn1->isEnabled());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->PageDate, 39154.0);  // 13 March 2007
  EXPECT_EQ(form->ExeDate, 39153.0);
}

TEST_F(UpdaterRoadTest, UnreadablePageDateEndsTheRoadBeforeAnythingIsStopped) {
  installBackupProgram(exeWritten);
  publish("version 2\r\n", archiveBytes);
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
  publish("13/03/2007", archiveBytes);
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
      {"connection dropped", true, {"--cut", ".zip=1000"}, false, QStringLiteral("Erreur durant le téléchargement : ")},
      {"disk full", true, {}, true, QStringLiteral("Erreur inconnue : ")},
  };
  installBackupProgram(exeWritten);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(webRoot / "rv");
    publish("13/03/2007", c.publishArchive ? std::optional<std::string>(archiveBytes) : std::nullopt);
    startServer(c.serverArgs);
    if (c.fullDisk) fs::create_symlink("/dev/full", zipPath());
    shellOpened.clear();
    extractions.clear();
    boxes = nullptr;
    boxes = std::make_unique<platform::ScopedResponder>();
    programs.clear();
    runRoad();

    EXPECT_TRUE(program->endedByKill());
    EXPECT_TRUE(onlyBox(MsgIcon::None).startsWith(c.messageStart)) << onlyBox(MsgIcon::None).toStdString();
    EXPECT_TRUE(extractions.empty());
    EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
    EXPECT_FALSE(fs::exists(fs::symlink_status(zipPath())));
    EXPECT_TRUE(form->ui->BitBtn1->isEnabled());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->ui->Label1->text().startsWith(QStringLiteral("Le téléchargement de la mise à jour PalvrenFtp a échoué.")));
  }
}

TEST_F(UpdaterRoadTest, ArchiveThatCannotBeCreatedEndsTheRoadWithTheProgramRestarted) {
  installBackupProgram(exeWritten);
  publish("13/03/2007", archiveBytes);
  startServer();
  fs::create_directory(zipPath());
  runRoad();

  EXPECT_TRUE(program->endedByKill());
  EXPECT_TRUE(onlyBox(MsgIcon::Error).startsWith(QStringLiteral("Impossible de créer le fichier ") +
                                                  QString::fromStdString(zipPath().string())));
  EXPECT_EQ(requestedPaths(), std::vector<std::string>{"/palvrenftp/update.html"});
  EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
  EXPECT_TRUE(extractions.empty());
  EXPECT_FALSE(form->ui->BitBtn1->isEnabled());
}

TEST_F(UpdaterRoadTest, ArchiveThatCannotBeOpenedIsKeptAndTheProgramRestarted) {
  installBackupProgram(exeWritten);
  publish("13/03/2007", archiveBytes);
  startServer();
  runRoad([](const QString&, const QString&, const updater::FileProgress&) {
    throw platform::Exception("Invalid archive file.");
  });

  EXPECT_TRUE(program->endedByKill());
  EXPECT_EQ(onlyBox(MsgIcon::Error), QStringLiteral("Invalid archive file."));
  EXPECT_EQ(shellOpened, std::vector<QString>{exeTarget()});
  EXPECT_TRUE(fs::exists(zipPath()));
  EXPECT_FALSE(form->ui->BitBtn1->isEnabled());
  EXPECT_TRUE(form->isVisible());
}

}  // namespace
}  // namespace updatertest
