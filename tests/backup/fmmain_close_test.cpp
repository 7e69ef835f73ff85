#include "fmmain_fixture.h"
#include "platform/core/ini_file.h"
#include "support/scoped_responder.h"
#include "support/temp_dir.h"

using namespace backup;

namespace {

class CloseQuestion : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    buildWindows();
    QObject::connect(main.get(), &TfmMain::closed, [this] { ++ended; });
    main->show();
  }
  void expectSavedSections() {
    const platform::IniFile ini(iniPath().string());
    for (const char* s : {"fmMain", "Form1", "Form1Repertoires_sauv", "Form1signature_mail"})
      EXPECT_TRUE(ini.sectionExists(s)) << s;
  }
  int ended = 0;
};

TEST_F(CloseQuestion, NoKeepsTheProgramInTheTrayWithTheSettingsSaved) {
  testsupport::ScopedResponder answers({platform::MsgAnswer::No});
  EXPECT_FALSE(main->close());
  ASSERT_EQ(answers.asked().size(), 1u);
  const platform::MessageRequest& q = answers.asked()[0];
  EXPECT_EQ(q.caption, "PalvrenFtp");
  EXPECT_EQ(
      q.text,
      "Voulez-vous quitter PalvrenFtp \nSi vous quitter maintenant, les sauvegardes ne pourront plus s'effectuées");
  EXPECT_EQ(q.buttons, platform::MsgButtons::YesNo);
  EXPECT_EQ(q.icon, platform::MsgIcon::None);
  EXPECT_FALSE(main->isVisible());
  EXPECT_EQ(ended, 0);
  EXPECT_TRUE(main->ui->Memo1->text().isEmpty());
  expectSavedSections();
}

TEST_F(CloseQuestion, YesOrClosingTheBoxLogsTheStopSavesAndEnds) {
  for (const auto answer : {platform::MsgAnswer::Yes, platform::MsgAnswer::Closed}) {
    std::filesystem::remove(iniPath());
    main->show();
    const int before = ended;
    testsupport::ScopedResponder answers({answer});
    EXPECT_TRUE(main->close());
    EXPECT_EQ(ended - before, 1);
    EXPECT_EQ(lastMemoLine(), stamp() + " : Arrêt de PalvrenFtp");
    expectSavedSections();
  }
  EXPECT_EQ(testsupport::readFile(logPath(clock.now().date())),
            (stamp() + " : Arrêt de PalvrenFtp\r\n" + stamp() + " : Arrêt de PalvrenFtp\r\n").toStdString());
}

TEST_F(CloseQuestion, TheTrayEntryQuitAsksTheSameQuestion) {
  testsupport::ScopedResponder answers({platform::MsgAnswer::No});
  main->N1->trigger();
  EXPECT_EQ(answers.asked().size(), 1u);
  EXPECT_EQ(ended, 0);
}

TEST_F(CloseQuestion, ReduceSavesEveryWindowAndHides) {
  main->ui->derniere_sauv->setText("4096");
  main->ui->BitBtn1->click();
  EXPECT_FALSE(main->isVisible());
  expectSavedSections();
  EXPECT_EQ(platform::IniFile(iniPath().string()).readString("fmMain", "derniere_sauv", ""), "4096");
  main->RxTrayIcon1Click();
  EXPECT_TRUE(main->isVisible());
}

}  // namespace
