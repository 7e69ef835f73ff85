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

// The Windows program wrote its code page's bytes: they are read as Windows-1252, so the folder
// names the one on disk, and the next save writes the same text in UTF-8, never U+FFFD.
TEST_F(Settings, AFileInTheWindowsCodePageIsReadAndWrittenBackWhole) {
  const std::filesystem::path folder = dir / "été";  // the name on disk is UTF-8
  testsupport::writeFile(folder / "lettre.txt", "bonjour");
  const std::string cp1252Folder = dir.str() + "/\xE9t\xE9";
  struct Value {
    const char* section;
    const char* key;
    std::string bytes;
    QString text;
  };
  const std::vector<Value> values = {
      {"Form1", "Sujet_tov", "Rapport \xE9t\xE9 \x80 \x9C", "Rapport été € œ"},
      {"Form1", "Email_v", "moi@exemple.fr", "moi@exemple.fr"},
      {"Form1", "rep_principal", "d\xC3\xA9j\xC3\xA0", "déjà"},  // UTF-8 stays UTF-8
      {"Form1Repertoires_sauv", "L0", cp1252Folder + "|*.*|oui", QString::fromStdString(folder.string()) + "|*.*|oui"},
      {"Form1signature_mail", "L0", "Soci\xE9t\xE9", "Société"},
  };
  std::string ini;
  for (const Value& v : values) ini += std::string("[") + v.section + "]\r\n" + v.key + "=" + v.bytes + "\r\n";
  testsupport::writeFile(iniPath(), ini);
  buildWindows();
  Ui::Form1* f = config->ui.get();
  EXPECT_EQ(f->Sujet_tov->text().toStdString(), values[0].text.toStdString());
  EXPECT_EQ(f->rep_principal->text().toStdString(), values[2].text.toStdString());
  ASSERT_EQ(f->Repertoires_sauv->count(), 1);
  EXPECT_EQ(f->Repertoires_sauv->item(0)->text().toStdString(), values[3].text.toStdString());
  EXPECT_EQ(f->signature_mail->toPlainText().toStdString(), values[4].text.toStdString());

  main->BitBtn1Click();
  const std::string saved = testsupport::readFile(iniPath());
  EXPECT_EQ(saved.find("\xEF\xBF\xBD"), std::string::npos) << saved;
  const platform::IniFile reread(iniPath().string());
  for (const Value& v : values)
    EXPECT_EQ(reread.readString(v.section, v.key, ""), v.text.toStdString()) << v.section << " " << v.key;
}

// A huge settings file (the good keys among hundreds of thousands of others) loads and saves
// in time linear in its size: the windows get their values, and a save keeps every key.
TEST_F(Settings, AHugeFileLoadsAndSavesWhole) {
  std::string ini = "[Form1]\r\nSujet_tov=Rapport\r\nheure_sauv=13\r\n";
  const int others = 150000;
  for (int i = 0; i < others; ++i) ini += "autre" + std::to_string(i) + "=" + std::string(60, 'v') + "\r\n";
  ini += "SUJET_TOV=second, never read\r\n[Form1Repertoires_sauv]\r\nL0=/donnees|*.*|oui\r\nItemIndex=0\r\n";
  for (int i = 0; i < others; ++i) ini += "[section" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
  testsupport::writeFile(iniPath(), ini);
  buildWindows();
  Ui::Form1* f = config->ui.get();
  EXPECT_EQ(f->Sujet_tov->text(), "Rapport");
  EXPECT_EQ(f->heure_sauv->value(), 13);
  ASSERT_EQ(f->Repertoires_sauv->count(), 1);
  EXPECT_EQ(f->Repertoires_sauv->item(0)->text(), "/donnees|*.*|oui");
  f->Sujet_tov->setText("Nouveau");
  main->BitBtn1Click();
  const platform::IniFile reread(iniPath().string());
  EXPECT_EQ(reread.readString("form1", "sujet_tov", ""), "Nouveau");
  EXPECT_EQ(reread.readString("Form1", "autre" + std::to_string(others - 1), ""), std::string(60, 'v'));
  EXPECT_EQ(reread.readInteger("section" + std::to_string(others - 1), "K", -1), others - 1);
  EXPECT_EQ(reread.readString("Form1Repertoires_sauv", "L0", ""), "/donnees|*.*|oui");
}

}  // namespace
