#include <QPlainTextEdit>

#include "fmmain_fixture.h"
#include "support/temp_dir.h"

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
  EXPECT_EQ(main->ui->Memo1->toPlainText(), "-----------------------\n" + stamp() + " : Démarrage de la sauvegarde");
  EXPECT_EQ(todaysLog(), ("earlier\r\n-----------------------\r\n" + stamp() + " : Démarrage de la sauvegarde\r\n").toStdString());
}

TEST_F(RunLog, EachLineGoesToTheFileOfTheDayItIsWritten) {
  clock.set(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)));
  main->logMessage("avant");
  clock.advanceSeconds(1);
  main->logMessage("après");
  EXPECT_EQ(testsupport::readFile(logPath(QDate(2026, 12, 31))), "31/12/2026 23:59:59 : avant\r\n");
  // At 00:00:00 to the second the line carries the date alone.
  EXPECT_EQ(testsupport::readFile(logPath(QDate(2027, 1, 1))), "01/01/2027 : après\r\n");
}

TEST_F(RunLog, AFileThatCannotBeWrittenLeavesTheVisibleLine) {
  platform::setProgramFolder(QString::fromStdString((dir / "absent").string()));
  EXPECT_NO_THROW(main->journal("visible"));
  EXPECT_EQ(lastMemoLine(), "visible");
  EXPECT_FALSE(std::filesystem::exists(dir / "absent"));
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

}  // namespace
