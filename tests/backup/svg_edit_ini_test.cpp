#include "backup/components/svg_edit_ini.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

#include "platform/core/ini_file.h"
#include "platform/core/program_folder.h"
#include "support/temp_dir.h"

using namespace backup;

namespace {

// A window with one control of every kind the store handles, plus ones it must leave out.
class Win : public QWidget {
 public:
  explicit Win(const QString& name) {
    setObjectName(name);
    auto* lay = new QVBoxLayout(this);
    const auto add = [&](auto* w, const char* n) {
      w->setObjectName(n);
      lay->addWidget(w);
      return w;
    };
    edit = add(new QLineEdit("design"), "ed_text");
    plainEdit = add(new QLineEdit("plain"), "Edit1");
    box = add(new QCheckBox, "cb_on");
    plainBox = add(new QCheckBox, "CheckBox1");
    spin = add(new QSpinBox, "sp_val");
    spin->setRange(5, 10);
    spin->setValue(7);
    memo = add(new QPlainTextEdit("design"), "memo_m");
    list = add(new QListWidget, "list_l");
    list->addItems({"design"});
    radio = add(new QRadioButton, "rb_x");
    store = TSvgEditIni::forWindow(this);
  }
  void closeEvent(QCloseEvent* e) override {
    ++closes;
    e->setAccepted(acceptClose);
  }

  QLineEdit* edit;
  QLineEdit* plainEdit;
  QCheckBox* box;
  QCheckBox* plainBox;
  QSpinBox* spin;
  QPlainTextEdit* memo;
  QListWidget* list;
  QRadioButton* radio;
  TSvgEditIni* store;
  int closes = 0;
  bool acceptClose = true;
};

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { platform::setProgramFolder(QString::fromStdString(dir.str())); }
  void TearDown() override { platform::setProgramFolder(QString()); }
  void writeIni(const std::string& text) { testsupport::writeFile(dir / "serie.ini", text); }
  std::string ini() const { return testsupport::readFile(dir / "serie.ini"); }
  platform::IniFile iniFile() const { return platform::IniFile((dir / "serie.ini").string()); }
  testsupport::TempDir dir;
};

TEST_F(SettingsStore, EveryKindMakesTheRoundTrip) {
  {
    Win w("Win");
    w.edit->setText("é = valeur ; |x|");
    w.plainEdit->setText("not saved");
    w.box->setChecked(false);
    w.spin->setValue(9);
    w.memo->setPlainText("ligne 1\nligne 2");
    w.list->clear();
    w.list->addItems({"a|*.*|oui", "", "b|*.txt|non"});
    w.list->setCurrentRow(2);
    w.radio->setChecked(true);
    w.store->Save();
  }
  const auto f = iniFile();
  EXPECT_EQ(f.readString("Win", "ed_text", "?"), "é = valeur ; |x|");
  EXPECT_EQ(f.readString("Win", "cb_on", "?"), "0");
  EXPECT_EQ(f.readString("Win", "sp_val", "?"), "9");
  EXPECT_EQ(f.readString("Winmemo_m", "L1", "?"), "ligne 2");
  EXPECT_EQ(f.readString("Winmemo_m", "ItemIndex", "?"), "0");
  EXPECT_EQ(f.readString("Winlist_l", "L1", "?"), "");
  EXPECT_EQ(f.readString("Winlist_l", "ItemIndex", "?"), "2");
  // Names without "_", the radio button (off on the program's windows) and the spin box's
  // inner edit are never written.
  for (const char* key : {"Edit1", "CheckBox1", "rb_x", "qt_spinbox_lineedit"})
    EXPECT_FALSE(f.valueExists("Win", key)) << key;

  Win back("Win");
  EXPECT_EQ(back.edit->text(), "é = valeur ; |x|");
  EXPECT_FALSE(back.box->isChecked());
  EXPECT_EQ(back.spin->value(), 9);
  EXPECT_EQ(back.memo->toPlainText(), "ligne 1\nligne 2");
  ASSERT_EQ(back.list->count(), 3);
  EXPECT_EQ(back.list->item(2)->text(), "b|*.txt|non");
  EXPECT_EQ(back.list->currentRow(), 2);
  EXPECT_FALSE(back.radio->isChecked());
}

TEST_F(SettingsStore, MissingKeysGiveTheDefaultsOfEachKind) {
  struct Case {
    const char* file;
    const char* edit;
    bool box;
    int spin;
    bool plainBoxChecked;
  };
  const Case cases[] = {
      {"", "design", true, 5, true},                             // no file at all
      {"[Win]\r\ned_text=%ù@à*£\r\n", "design", true, 5, true},  // the mark counts as missing
      {"[Win]\r\ned_text=\r\ncb_on=\r\n", "", true, 5, true},    // empty: empties an edit, checks a box
      {"[Win]\r\ncb_on=0x0\r\nsp_val=0x9\r\nCheckBox1=0\r\n", "design", false, 9, false},
      {"[Win]\r\ncb_on=non\r\nsp_val=99\r\n", "design", true, 10, true},  // spin kept in its bounds
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir / "serie.ini");
    if (*c.file) writeIni(c.file);
    Win w("Win");
    SCOPED_TRACE(c.file);
    EXPECT_EQ(w.edit->text(), c.edit);
    EXPECT_EQ(w.box->isChecked(), c.box);
    EXPECT_EQ(w.spin->value(), c.spin);
    EXPECT_EQ(w.plainBox->isChecked(), c.plainBoxChecked);  // loaded though never saved
    EXPECT_TRUE(w.memo->toPlainText().isEmpty());
    EXPECT_EQ(w.list->count(), 0);
  }
}

TEST_F(SettingsStore, ListSectionsAreErasedAndReadUpToTheFirstGap) {
  {
    Win w("Win");
    w.list->clear();
    w.list->addItems({"a", "b", "c"});
    w.list->clearSelection();
    w.store->Save();
    EXPECT_EQ(iniFile().readString("Winlist_l", "ItemIndex", "?"), "-1");
    EXPECT_TRUE(iniFile().valueExists("Winlist_l", "L2"));
    w.list->clear();
    w.list->addItem("seul");
    w.store->Save();
  }
  const auto f = iniFile();
  EXPECT_EQ(f.readString("Winlist_l", "L0", "?"), "seul");
  EXPECT_FALSE(f.valueExists("Winlist_l", "L1"));
  EXPECT_FALSE(f.valueExists("Winlist_l", "L2"));

  const std::pair<const char*, int> selections[] = {{"5", -1}, {"1", 1}, {"-1", -1}};
  for (const auto& [index, row] : selections) {
    writeIni(std::string("[Winlist_l]\r\nL0=a\r\nL1=b\r\nL3=d\r\nItemIndex=") + index + "\r\n");
    Win w("Win");
    EXPECT_EQ(w.list->count(), 2) << index;
    EXPECT_EQ(w.list->selectedItems().isEmpty() ? -1 : w.list->currentRow(), row) << index;
  }
}

TEST_F(SettingsStore, SavingFromAnyStoreSavesEveryWindow) {
  Win first("fmMain");
  Win second("Form1");
  first.edit->setText("un");
  second.edit->setText("deux");
  second.store->Save();
  const auto f = iniFile();
  EXPECT_EQ(f.readString("fmMain", "ed_text", "?"), "un");
  EXPECT_EQ(f.readString("Form1", "ed_text", "?"), "deux");
}

TEST_F(SettingsStore, TheFirstWindowsCloseRunsItsHandlerThenSaves) {
  auto first = std::make_unique<Win>("fmMain");
  Win second("Form1");
  second.edit->setText("deux");
  for (const bool accept : {false, true}) {
    std::filesystem::remove(dir / "serie.ini");
    first->acceptClose = accept;
    first->show();
    EXPECT_EQ(first->close(), accept);
    EXPECT_EQ(iniFile().readString("Form1", "ed_text", "?"), "deux") << accept;
  }
  EXPECT_EQ(first->closes, 2);
  // Later windows hook nothing.
  std::filesystem::remove(dir / "serie.ini");
  second.show();
  second.close();
  EXPECT_FALSE(std::filesystem::exists(dir / "serie.ini"));
}

TEST_F(SettingsStore, AnUnwritableFileIsDroppedQuietly) {
  platform::setProgramFolder(QString::fromStdString((dir / "absent").string()));
  Win w("Win");
  w.edit->setText("x");
  EXPECT_NO_THROW(w.store->Save());
  EXPECT_EQ(w.edit->text(), "x");
  EXPECT_FALSE(std::filesystem::exists(dir / "absent"));
}

}  // namespace
