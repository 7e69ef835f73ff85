#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>

#include "fmmain_fixture.h"
#include "platform/core/ini_file.h"

using namespace backup;

namespace {

using Settings = WindowsTest;

TEST_F(Settings, EverySavedControlOfBothWindowsIsRestoredAtTheNextStart) {
  const std::vector<std::pair<const char*, const char*>> edits = {
      {"rep_principal", "/dossier"}, {"Edit_1", "clé"},       {"hote_vesk", "ftp.local"},  {"utilisateur_vesk", "bob"},
      {"passe_vesk", "pw"},          {"Port_ftp", "2121"},    {"Smtp_tov", "smtp.local"},  {"Email_v", "a@b.c"},
      {"Email_D", "d@e.f;g@h.i"},    {"Port_tov", "2525"},    {"Sujet_tov", "Sujet"},      {"user_name", "moi"},
      {"mot_de_passe", "#pw"},       {"hote_proxy", "proxy"}, {"utilisateur_proxy", "pu"}, {"passe_proxy", "pp"},
      {"port_proxy", "8021"},        {"proxy_type", "4"},
  };
  // Each box is set away from what a missing key would give (checked).
  const std::vector<const char*> unchecked = {"rep_auto",   "reconstruire_zip", "sauvegarde_auto",
                                              "CheckBox_1", "CheckBox_15",      "passive_ftp",
                                              "SFTP_vesk",  "vesk_size",        "recevoir_mail"};
  buildWindows();
  Ui::Form1* f = config->ui.get();
  f->anonyme_ftp->setChecked(true);
  for (const auto& [name, value] : edits) config->findChild<QLineEdit*>(name)->setText(value);
  for (const char* name : unchecked) config->findChild<QCheckBox*>(name)->setChecked(false);
  f->heure_sauv->setValue(21);
  f->minutes_sauv->setValue(45);
  f->SpinEdit_1->setValue(365);
  f->Repertoires_sauv->addItems({"/a|*.*|oui", "/b|*.doc|non"});
  f->signature_mail->setPlainText("Société\nTéléphone");
  main->ui->derniere_sauv->setText("123456789012");
  main->BitBtn1Click();
  destroyWindows();

  buildWindows();
  f = config->ui.get();
  for (const auto& [name, value] : edits) EXPECT_EQ(config->findChild<QLineEdit*>(name)->text(), value) << name;
  for (const char* name : unchecked) EXPECT_FALSE(config->findChild<QCheckBox*>(name)->isChecked()) << name;
  EXPECT_TRUE(f->anonyme_ftp->isChecked());
  EXPECT_EQ(f->heure_sauv->value(), 21);
  EXPECT_EQ(f->minutes_sauv->value(), 45);
  EXPECT_EQ(f->SpinEdit_1->value(), 365);
  ASSERT_EQ(f->Repertoires_sauv->count(), 2);
  EXPECT_EQ(f->Repertoires_sauv->item(1)->text(), "/b|*.doc|non");
  EXPECT_EQ(f->signature_mail->toPlainText(), "Société\nTéléphone");
  EXPECT_EQ(main->ui->derniere_sauv->text(), "123456789012");
  // Working controls are not settings.
  const platform::IniFile ini(iniPath().string());
  for (const char* name : {"Edit1", "Edit13", "CheckBox1", "Memo1"}) {
    EXPECT_FALSE(ini.valueExists("Form1", name)) << name;
    EXPECT_FALSE(ini.valueExists("fmMain", name)) << name;
  }
}

TEST_F(Settings, TheLogViewIsReadBackButNeverSaved) {
  testsupport::writeFile(iniPath(), "[fmMainMemo1]\r\nL0=never\r\n");
  buildWindows();
  EXPECT_EQ(main->ui->Memo1->text(), "never");  // read back, as every memo is
  main->logMessage("x");
  main->BitBtn1Click();
  EXPECT_FALSE(platform::IniFile(iniPath().string()).valueExists("fmMainMemo1", "L1"));  // its name has no "_"
  std::filesystem::remove(iniPath());
  destroyWindows();
  buildWindows();
  EXPECT_TRUE(main->ui->Memo1->text().isEmpty());
}

}  // namespace
