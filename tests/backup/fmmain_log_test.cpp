#include <QAction>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextLayout>

#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>

#include "fmmain_fixture.h"
#include "platform/ui/application.h"
#include "support/temp_dir.h"

using namespace backup;

namespace fs = std::filesystem;

namespace {

class RunLog : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    buildWindows();
  }
  std::string todaysLog() const { return testsupport::readFile(logPath(clock.now().date())); }
};

TEST_F(RunLog, EachLineGoesToTheViewAndIsAppendedToTheDailyFile) {
  testsupport::writeFile(logPath(clock.now().date()), "earlier\r\n");
  main->journal("-----------------------");
  main->logMessage("Démarrage de la sauvegarde");
  EXPECT_EQ(main->ui->Memo1->text(), "-----------------------\n" + stamp() + " : Démarrage de la sauvegarde");
  EXPECT_EQ(todaysLog(),
            ("earlier\r\n-----------------------\r\n" + stamp() + " : Démarrage de la sauvegarde\r\n").toStdString());
}

TEST_F(RunLog, ALongLineBreaksAtItsSpacesOnly) {
  main->show();
  const QString line = QStringLiteral(
      "Le fichier palvrenftp.zip a été envoyé sur le serveur : 1 234 567 Octets (/sauvegarde/vendredi) "
      "depuis /home/utilisateur/Documents/comptabilite-2026/archives/palvrenftp.zip");
  for (const int width : {300, 420, 547, 700}) {
    SCOPED_TRACE(width);
    main->resize(width, 394);
    main->ui->Memo1->clear();
    main->journal(line);
    QCoreApplication::processEvents();
    EXPECT_EQ(main->ui->Memo1->text(), line);
    const QTextBlock block = main->ui->Memo1->document()->firstBlock();
    const QTextLayout* layout = block.layout();
    ASSERT_GT(layout->lineCount(), 1);
    const QString shown = block.text();
    for (int i = 1; i < layout->lineCount(); ++i) {
      const int start = layout->lineAt(i).textStart();
      EXPECT_EQ(shown.at(start - 1), ' ') << shown.left(start).toStdString() << " | " << shown.mid(start).toStdString();
    }
  }
}

TEST_F(RunLog, EffacerEmptiesTheViewOnly) {
  main->logMessage("un");
  main->logMessage("deux");
  main->ui->Button2->click();
  EXPECT_EQ(main->ui->Memo1->text(), "");
  main->logMessage("trois");
  EXPECT_EQ(main->ui->Memo1->text(), stamp() + " : trois");
  EXPECT_EQ(todaysLog(),
            ((stamp() + " : un\r\n") + (stamp() + " : deux\r\n") + (stamp() + " : trois\r\n")).toStdString());
}

TEST_F(RunLog, ARunPastMidnightGoesOnInTheNextDaysFile) {
  clock.set(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 0)));
  main->logMessage("avant");
  clock.advanceSeconds(59);
  main->logMessage("juste avant");
  clock.advanceSeconds(1);
  // At 00:00:00 to the second the line carries the date alone.
  main->logMessage("minuit");
  clock.advanceSeconds(1);
  main->logMessage("après");
  EXPECT_EQ(testsupport::readFile(logPath(QDate(2026, 12, 31))),
            "31/12/2026 23:59:00 : avant\r\n31/12/2026 23:59:59 : juste avant\r\n");
  EXPECT_EQ(testsupport::readFile(logPath(QDate(2027, 1, 1))),
            "01/01/2027 : minuit\r\n01/01/2027 00:00:01 : après\r\n");
  EXPECT_EQ(main->ui->Memo1->text().split('\n').size(), 4);
}

TEST_F(RunLog, AFileThatCannotBeWrittenLeavesTheVisibleLine) {
  const fs::path today = logPath(clock.now().date());
  struct Case {
    const char* what;
    std::function<void()> prepare;
  };
  const Case cases[] = {
      {"program folder missing",
       [&] { platform::setProgramFolder(QString::fromStdString((dir / "absent").string())); }},
      {"a folder in the file's place", [&] { fs::create_directory(today); }},
      // Without a reader, a blocking open would hang the window.
      {"a FIFO in the file's place", [&] { ASSERT_EQ(::mkfifo(today.c_str(), 0600), 0); }},
  };
  for (const Case& c : cases) {
    fs::remove_all(today);
    platform::setProgramFolder(QString::fromStdString(dir.str()));
    c.prepare();
    EXPECT_NO_THROW(main->journal("visible")) << c.what;
    EXPECT_EQ(lastMemoLine(), "visible") << c.what;
    // The error handler logs through the same road and must not loop or raise.
    EXPECT_NO_THROW(main->ApplicationEvents1Exception("Erreur E/S 5")) << c.what;
    EXPECT_EQ(lastMemoLine(), stamp() + " : Erreur E/S 5") << c.what;
  }
  EXPECT_FALSE(fs::exists(dir / "absent"));
}

TEST_F(RunLog, TheErrorHandlerLogsEveryErrorButViolations) {
  struct Case {
    const char* message;
    const char* logged;  // nullptr: dropped
  };
  const Case cases[] = {
      {"Erreur E/S 5", "Erreur E/S 5"},
      {"ligne 1\r\nligne 2", "ligne 1 \nligne 2"},
      {"a\rb\rc", "a b c"},
      {"Access Violation at address 0", nullptr},
      {"Violation", nullptr},
      {"violation d'accès", "violation d'accès"},
  };
  std::string expected;
  for (const Case& c : cases) {
    main->ApplicationEvents1Exception(c.message);
    if (c.logged) expected += (stamp() + " : " + c.logged + "\r\n").toStdString();
  }
  EXPECT_EQ(todaysLog(), expected);
}

// The purge, run by the main window over a real tree below the program folder.
class LogPurgeRun : public RunLog {
 protected:
  static void setLastWrite(const fs::path& file, const QDateTime& local) {
    const std::time_t when = local.toSecsSinceEpoch();
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << file;
  }
  void makeFile(const std::string& name, const QDateTime& lastWrite) {
    testsupport::writeFile(dir / name, "x");
    setLastWrite(dir / name, lastWrite);
  }
  static bool exists(const fs::path& p) { return fs::exists(fs::symlink_status(p)); }
};

TEST_F(LogPurgeRun, RemovesTheLogFilesWrittenBeforeNowMinusTheKeptDays) {
  struct Case {
    QTime now;
    int keptDays;
    int offset;  // seconds from the limit, now minus the kept days
    bool deleted;
  };
  // Times are cut to the even second below before the strict comparison.
  const Case cases[] = {
      {QTime(10, 30, 15), 30, -1, true},
      {QTime(10, 30, 15), 30, 0, true},
      {QTime(10, 30, 15), 30, 1, false},
      {QTime(10, 30, 15), 30, 2, false},
      {QTime(10, 30, 16), 30, -1, true},
      {QTime(10, 30, 16), 30, 0, false},
      {QTime(10, 30, 16), 30, 1, false},
      {QTime(10, 30, 16), 30, -2, true},
      {QTime(10, 30, 16), 1, -1, true},
      {QTime(10, 30, 16), 1, 1, false},
      {QTime(10, 30, 15), 365, -1, true},
      {QTime(10, 30, 15), 365, 1, false},
      // 29 days and 23 hours stays.
      {QTime(12, 0, 0), 30, 3600, false},
  };
  for (const Case& c : cases) {
    const QDateTime now(QDate(2026, 12, 9), c.now);
    clock.set(now);
    config->ui->SpinEdit_1->setValue(c.keptDays);
    const QDateTime limit(now.date().addDays(-c.keptDays), now.time());
    makeFile("ancien.log", limit.addSecs(c.offset));
    main->Button5Click();
    EXPECT_EQ(!exists(dir / "ancien.log"), c.deleted)
        << c.now.toString().toStdString() << " days " << c.keptDays << " offset " << c.offset;
  }
}

TEST_F(LogPurgeRun, WalksEveryFolderBelowAndLeavesLinksAndOtherFiles) {
  testsupport::TempDir outside;
  const QDateTime old = clock.now().addDays(-40);
  const QDateTime recent = clock.now().addDays(-1);
  for (const char* f : {"20261029.log", "sub/20261029.log", "sub/deep/er/JOURNAL.LOG", "dossier.log/vieux.log",
                        "caf\xe9.log", "notes.txt", "sub/copie.log.bak", "sub/log"})
    makeFile(f, old);
  for (const char* f : {"20261208.log", "sub/20261208.log"}) makeFile(f, recent);
  testsupport::writeFile(outside / "etranger.log", "x");
  setLastWrite(outside / "etranger.log", old);
  fs::create_symlink(outside / "etranger.log", dir / "lien.log");
  setLastWrite(dir / "lien.log", old);
  fs::create_directory_symlink(outside.path(), dir / "sub/dossier-lien");
  // A loop back to the program folder is never entered either.
  fs::create_directory_symlink(dir.path(), dir / "sub/boucle");
  setLastWrite(dir / "dossier.log", old);
  config->ui->SpinEdit_1->setValue(30);

  main->Button5Click();

  for (const char* gone :
       {"20261029.log", "sub/20261029.log", "sub/deep/er/JOURNAL.LOG", "dossier.log/vieux.log", "caf\xe9.log"})
    EXPECT_FALSE(exists(dir / gone)) << gone;
  for (const char* kept : {"20261208.log", "sub/20261208.log", "notes.txt", "sub/copie.log.bak", "sub/log",
                           "dossier.log", "lien.log", "sub/dossier-lien", "sub/boucle"})
    EXPECT_TRUE(exists(dir / kept)) << kept;
  EXPECT_TRUE(exists(outside / "etranger.log"));
}

// The history window as the configuration window's menu opens it.
class HistoryFromConfig : public RunLog {
 protected:
  void SetUp() override {
    RunLog::SetUp();
    config->logFileChooser = [this](const QString& folder) {
      askedIn = folder;
      return answer;
    };
  }
  void openFromMenu() { config->ui->Ouvrirlesfichiersjournaux1->trigger(); }
  QString answer;
  QString askedIn;
};

TEST_F(HistoryFromConfig, ShowsTheChosenFilesLinesAndDate) {
  testsupport::writeFile(dir / "20261208.log",
                         "08/12/2026 10:00:00 : un\r\n-----------------------\r\n08/12/2026 : deux\r\n");
  answer = QString::fromStdString((dir / "20261208.log").string());
  openFromMenu();
  EXPECT_EQ(askedIn, platform::programFolder());
  EXPECT_TRUE(history->isVisible());
  EXPECT_EQ(history->windowTitle(), "Historique du 08/12/2026");
  EXPECT_EQ(history->memo()->toPlainText(), "08/12/2026 10:00:00 : un\n-----------------------\n08/12/2026 : deux");

  // Cancelling the dialog changes nothing.
  answer.clear();
  openFromMenu();
  EXPECT_TRUE(history->isVisible());
  EXPECT_EQ(history->windowTitle(), "Historique du 08/12/2026");
}

TEST_F(HistoryFromConfig, FirstShownCentredOnTheMainWindow) {
  testsupport::writeFile(dir / "20261208.log", "ligne\r\n");
  // Where the centred window fits on the test screen (800 x 600).
  main->setGeometry(126, 103, 547, 394);
  main->show();
  answer = QString::fromStdString((dir / "20261208.log").string());
  openFromMenu();
  const QPoint offset = history->frameGeometry().center() - main->frameGeometry().center();
  // The window frame is only known once shown, hence a few pixels of slack.
  EXPECT_LE(offset.manhattanLength(), 8) << offset.x() << "," << offset.y();
}

TEST_F(HistoryFromConfig, AnUnreadableFileBecomesALogLine) {
  platform::setExceptionHandler(
      [this](const std::string& message) { main->ApplicationEvents1Exception(QString::fromStdString(message)); });
  answer = QString::fromStdString((dir / "20261207.log").string());
  openFromMenu();
  platform::setExceptionHandler(nullptr);
  EXPECT_EQ(lastMemoLine(), stamp() + " : Erreur E/S 2");
  EXPECT_EQ(todaysLog(), (stamp() + " : Erreur E/S 2\r\n").toStdString());
  EXPECT_EQ(history->windowTitle(), "Historique du 07/12/2026");
  EXPECT_FALSE(history->isVisible());
}

}  // namespace
