#include <QTreeWidget>
#include <filesystem>

#include "fmmain_fixture.h"
#include "support/temp_dir.h"

using namespace backup;

namespace {

using StartUp = WindowsTest;

TEST_F(StartUp, FirstStartFillsTheDefaultsInOrderAndWritesNothing) {
  buildWindows();
  Ui::Form1* f = config->ui.get();
  // With no file every check box is loaded checked, which ran the anonymous box's handler.
  EXPECT_TRUE(f->anonyme_ftp->isChecked());
  EXPECT_EQ(f->utilisateur_vesk->text(), "anonymous");
  f->utilisateur_vesk->setText("bob");
  f->passe_vesk->setText("secret");
  main->show();
  main->Timer3->start();
  main->Timer3Timer();

  EXPECT_FALSE(main->Timer3->isActive());
  EXPECT_TRUE(main->isVisible());
  EXPECT_FALSE(main->isMinimized());
  EXPECT_FALSE(f->passive_ftp->isChecked());
  EXPECT_FALSE(f->anonyme_ftp->isChecked());
  // Unchecking "anonyme" set the user and emptied the password; the next default empties the user.
  EXPECT_EQ(f->utilisateur_vesk->text(), "");
  EXPECT_EQ(f->passe_vesk->text(), "");
  EXPECT_TRUE(f->sauvegarde_auto->isChecked());
  EXPECT_EQ(f->heure_sauv->value(), 13);
  EXPECT_EQ(f->minutes_sauv->value(), 0);
  EXPECT_FALSE(f->reconstruire_zip->isChecked());
  EXPECT_TRUE(f->CheckBox_15->isChecked());
  EXPECT_TRUE(f->rep_auto->isChecked());
  EXPECT_EQ(f->rep_principal->text(), "sauvegarde");
  EXPECT_FALSE(f->SFTP_vesk->isChecked());
  EXPECT_EQ(f->SpinEdit_1->value(), 30);
  EXPECT_EQ(f->Edit_1->text(), "");
  EXPECT_FALSE(f->recevoir_mail->isChecked());
  EXPECT_EQ(f->Sujet_tov->text(), "Rapport de sauvegarde");
  EXPECT_EQ(f->Port_tov->text(), "25");
  EXPECT_EQ(config->Type_proxyItemIndex(), 0);
  EXPECT_EQ(f->ListView1->topLevelItemCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(iniPath()));
}

const char* storedSettings =
    "[Form1]\r\nheure_sauv=9\r\nminutes_sauv=5\r\nsauvegarde_auto=1\r\nanonyme_ftp=1\r\n"
    "utilisateur_vesk=bob\r\npasse_vesk=pw\r\nproxy_type=%s\r\n"
    "[Form1Repertoires_sauv]\r\nL0=/home/a|*.*|oui\r\nL1=\r\nL2=/srv/b|*.txt;*.doc|non\r\nItemIndex=-1\r\n";

std::string settingsWith(const std::string& proxyType) {
  std::string s = storedSettings;
  s.replace(s.find("%s"), 2, proxyType);
  return s;
}

TEST_F(StartUp, LaterStartHidesAndRebuildsTheFolderRows) {
  testsupport::writeFile(iniPath(), settingsWith("3"));
  buildWindows();
  main->show();
  main->Timer3Timer();
  Ui::Form1* f = config->ui.get();
  EXPECT_FALSE(main->isVisible());
  EXPECT_EQ(f->heure_sauv->value(), 9);
  // The stored account survives the anonymous box's handler run while loading.
  EXPECT_EQ(f->utilisateur_vesk->text(), "bob");
  EXPECT_EQ(f->passe_vesk->text(), "pw");
  EXPECT_EQ(config->Type_proxyItemIndex(), 3);
  ASSERT_EQ(f->ListView1->topLevelItemCount(), 2);
  const QTreeWidgetItem* a = f->ListView1->topLevelItem(0);
  const QTreeWidgetItem* b = f->ListView1->topLevelItem(1);
  EXPECT_EQ(QStringList({a->text(0), a->text(1), a->text(2)}), QStringList({"/home/a", "*.*", "oui"}));
  EXPECT_EQ(QStringList({b->text(0), b->text(1), b->text(2)}), QStringList({"/srv/b", "*.txt;*.doc", "non"}));
}

TEST_F(StartUp, WithoutATrayHidingMinimisesInstead) {
  testsupport::writeFile(iniPath(), settingsWith("0"));
  tray = false;
  buildWindows();
  main->show();
  main->Timer3Timer();
  EXPECT_TRUE(main->isVisible());
  EXPECT_TRUE(main->isMinimized());
  main->Affiche1Click();
  EXPECT_FALSE(main->isMinimized());
}

TEST_F(StartUp, ADamagedProxyTypeIsLoggedSelectsNoneAndKeepsTheRows) {
  testsupport::writeFile(iniPath(), settingsWith("abc"));
  buildWindows();
  main->Timer3Timer();
  EXPECT_EQ(lastMemoLine(), stamp() + " : 'abc' n'est pas une valeur entière correcte");
  EXPECT_EQ(config->Type_proxyItemIndex(), -1);
  EXPECT_EQ(config->ui->ListView1->topLevelItemCount(), 2);
}

TEST_F(StartUp, ProxyTypeOutsideTheItemsIsKeptWithinThem) {
  const std::pair<const char*, int> cases[] = {{"0x2", 2}, {"9", 5}, {"-7", -1}};
  for (const auto& [text, index] : cases) {
    testsupport::writeFile(iniPath(), settingsWith(text));
    buildWindows();
    main->Timer3Timer();
    EXPECT_EQ(config->Type_proxyItemIndex(), index) << text;
    destroyWindows();
  }
}

}  // namespace
