#include "backup/form2.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

#include <sys/stat.h>

#include "platform/core/exceptions.h"
#include "platform/core/program_folder.h"
#include "support/temp_dir.h"

using namespace backup;

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

QStringList memoLines(const TForm2& form) {
  const QString text = form.memo()->toPlainText();
  return text.isEmpty() ? QStringList{} : text.split(QLatin1Char('\n'));
}

TEST(Form2Caption, BuiltFromTheCharactersOfTheFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/prog/20261209.log", "Historique du 09/12/2026"},
      {"20261209", "Historique du 09/12/2026"},
      {"/prog/20261209123.log", "Historique du 09/12/2026"},
      {"/prog/2026120.log", "Historique du 0/12/2026"},
      {"/prog/abc.log", "Historique du //abc"},
      {"/prog/.log", "Historique du //"},
      {"/dossier.d/journal.20261209.log", "Historique du l./na/jour"},
      // Characters, not bytes: each accented letter stays whole.
      {"/prog/éèàùçôîï.log", "Historique du îï/çô/éèàù"},
  };
  for (const auto& [path, caption] : cases)
    EXPECT_EQ(TForm2::captionForLogFile(QString::fromUtf8(path)), QString::fromUtf8(caption)) << path;
}

TEST(Form2Lines, SplitAtCrLfOrCrLf) {
  const std::pair<QByteArray, QStringList> cases[] = {
      {"", {}},
      {"un", {"un"}},
      {"un\r\ndeux\r\n", {"un", "deux"}},
      {"un\ndeux", {"un", "deux"}},
      {"un\rdeux\r", {"un", "deux"}},
      {"un\r\n\r\ntrois", {"un", "", "trois"}},
      {"un\n\rdeux", {"un", "", "deux"}},
      {"\r\n", {""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"10/12/2026 : Démarrage de la sauvegarde\r\n", {QString::fromUtf8("10/12/2026 : Démarrage de la sauvegarde")}},
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(TForm2::splitLogLines(text), lines) << text.toStdString();
}

class Form2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProgramFolder(QString::fromStdString(tmp.str()));
    form.setFileChooser([this](const QString& folder) {
      askedIn = folder;
      ++asked;
      return answer;
    });
  }
  void TearDown() override { platform::setProgramFolder(QString()); }
  QString logPath(const char* name) const { return QString::fromStdString((tmp / name).string()); }

  TempDir tmp;
  TForm2 form;
  QString answer;
  QString askedIn;
  int asked = 0;
};

TEST_F(Form2Test, OpensTheChosenLogFile) {
  writeFile(tmp / "20261209.log", "09/12/2026 10:00:00 : un\r\n-----------------------\r\n09/12/2026 : deux\r\n");
  answer = logPath("20261209.log");
  EXPECT_FALSE(form.isVisible());

  form.Ouvrirfichiersjournaux1Click();

  EXPECT_EQ(asked, 1);
  EXPECT_EQ(askedIn, QString::fromStdString(tmp.str()) + '/');
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.windowTitle(), "Historique du 09/12/2026");
  EXPECT_EQ(memoLines(form), (QStringList{"09/12/2026 10:00:00 : un", "-----------------------", "09/12/2026 : deux"}));

  // Another file replaces content and caption.
  writeFile(tmp / "20261210.log", "10/12/2026 08:00:00 : trois\r\n");
  answer = logPath("20261210.log");
  form.Ouvrirfichiersjournaux1Click();
  EXPECT_EQ(form.windowTitle(), "Historique du 10/12/2026");
  EXPECT_EQ(memoLines(form), (QStringList{"10/12/2026 08:00:00 : trois"}));
}

TEST_F(Form2Test, CancelLeavesTheWindowAsItWas) {
  writeFile(tmp / "20261209.log", "ligne\r\n");
  answer = logPath("20261209.log");
  form.Ouvrirfichiersjournaux1Click();
  form.shutJournalClick();

  answer.clear();
  form.Ouvrirfichiersjournaux1Click();
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.windowTitle(), "Historique du 09/12/2026");
  EXPECT_EQ(memoLines(form), (QStringList{"ligne"}));
}

TEST_F(Form2Test, UnreadableFileRaisesInputOutputError) {
  ::mkdir((tmp / "20261208.log").c_str(), 0700);
  ASSERT_EQ(::mkfifo((tmp / "20261206.log").c_str(), 0600), 0);
  // A FIFO must be refused at once, never waited on.
  const std::pair<const char*, int> cases[] = {
      {"20261207.log", ENOENT}, {"20261208.log", EISDIR}, {"20261206.log", EINVAL}};
  for (const auto& [name, code] : cases) {
    writeFile(tmp / "previous.log", "ancienne ligne\r\n");
    form.loadLogFile(logPath("previous.log"));
    answer = logPath(name);
    try {
      form.Ouvrirfichiersjournaux1Click();
      ADD_FAILURE() << name << " opened";
    } catch (const platform::EInOutError& e) {
      EXPECT_EQ(e.errorCode(), code) << name;
      EXPECT_EQ(std::string(e.what()), "Erreur E/S " + std::to_string(code));
    }
    // The caption is already the new one; nothing is shown.
    EXPECT_EQ(form.windowTitle(), TForm2::captionForLogFile(answer)) << name;
    EXPECT_TRUE(memoLines(form).isEmpty()) << name;
    EXPECT_FALSE(form.isVisible()) << name;
  }
}

TEST_F(Form2Test, ButtonAndMenuCloseTheWindow) {
  writeFile(tmp / "20261209.log", "ligne\r\n");
  answer = logPath("20261209.log");
  for (const auto& close : {std::function<void()>([this] { form.shutJournalButton()->click(); }),
                            std::function<void()>([this] { form.closeAction()->trigger(); })}) {
    form.openAction()->trigger();
    ASSERT_TRUE(form.isVisible());
    close();
    EXPECT_FALSE(form.isVisible());
  }
  EXPECT_EQ(asked, 2);
}

TEST(Form2Window, MenuCaptionAndFilters) {
  TForm2 form;
  EXPECT_EQ(form.objectName(), "Form2");
  EXPECT_EQ(form.windowTitle(), "Historique");
  EXPECT_EQ(form.size(), QSize(698, 597));
  const QList<QAction*> top = form.menuBar()->actions();
  ASSERT_EQ(top.size(), 1);
  EXPECT_EQ(top[0]->text(), "Fichier");
  ASSERT_NE(top[0]->menu(), nullptr);
  EXPECT_EQ(top[0]->menu()->actions(), (QList<QAction*>{form.openAction(), form.closeAction()}));
  EXPECT_EQ(form.openAction()->text(), "Ouvrir fichiers journaux");
  EXPECT_EQ(form.closeAction()->text(), "Fermer");
  EXPECT_EQ(form.shutJournalButton()->text(), "Fermer");
  EXPECT_EQ(TForm2::logFileFilters(), "Fichiers journaux (*.log);;Fichiers (*.*)");
}

}  // namespace

namespace {

TEST(Form2Window, FirstShownCentredOnItsOwner) {
  TempDir tmp;
  writeFile(tmp / "20261209.log", "ligne\r\n");
  QWidget owner;
  // Where the centred window fits on the test screen (800 x 600).
  owner.setGeometry(50, 50, 700, 500);
  owner.show();
  TForm2 form(&owner);
  EXPECT_TRUE(form.isWindow());
  const QString path = QString::fromStdString((tmp / "20261209.log").string());
  form.setFileChooser([path](const QString&) { return path; });
  form.Ouvrirfichiersjournaux1Click();
  const QPoint offset = form.frameGeometry().center() - owner.frameGeometry().center();
  // The window frame is only known once shown, hence a few pixels of slack.
  EXPECT_LE(offset.manhattanLength(), 8) << offset.x() << "," << offset.y();
}

}  // namespace
