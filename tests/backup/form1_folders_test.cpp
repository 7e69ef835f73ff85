#include <QDir>
#include <QFileDialog>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>
#include <utility>

#include "backup/file_dialogs.h"
#include "fmmain_fixture.h"

using namespace backup;

namespace {

class Folders : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    buildWindows();
    config->folderPicker = [this](const QString& title, QString& folder) {
      askedTitle = title;
      askedFolder = folder;
      if (chosen.isEmpty()) return false;
      folder = chosen;
      return true;
    };
  }
  QStringList lines() const {
    QStringList out;
    for (int i = 0; i < config->ui->Repertoires_sauv->count(); ++i)
      out << config->ui->Repertoires_sauv->item(i)->text();
    return out;
  }
  QStringList rows() const {
    QStringList out;
    for (int i = 0; i < config->ui->ListView1->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* it = config->ui->ListView1->topLevelItem(i);
      out << it->text(0) + '|' + it->text(1) + '|' + it->text(2);
    }
    return out;
  }
  void selectRow(int row) { config->ui->ListView1->topLevelItem(row)->setSelected(true); }

  QString chosen;
  QString askedTitle;
  QString askedFolder;
};

TEST_F(Folders, APickedFolderAddsOneEntryAndOneRow) {
  config->ui->Edit1->setText("*.doc;*.xls");
  config->ui->CheckBox1->setChecked(false);
  config->ui->Edit13->setText(QString::fromStdString(dir.str()));
  chosen = "/srv/données/";
  config->ui->SpeedButton2->click();
  EXPECT_EQ(askedTitle, "Choisissez le dossier source");
  EXPECT_EQ(askedFolder, QString::fromStdString(dir.str()));
  config->ui->CheckBox1->setChecked(true);
  config->ui->Edit13->setText("/no/such/folder");
  config->SpeedButton2Click();
  EXPECT_EQ(askedFolder, "");  // a folder that does not exist preselects nothing
  EXPECT_EQ(lines(), QStringList({"/srv/données|*.doc;*.xls|non", "/srv/données|*.doc;*.xls|oui"}));
  EXPECT_EQ(rows(), lines());
}

TEST_F(Folders, ACancelledPickerAddsNothing) {
  config->ui->Edit13->setText(QString::fromStdString(dir.str()));
  chosen.clear();
  config->SpeedButton2Click();
  EXPECT_TRUE(lines().isEmpty());
  EXPECT_TRUE(rows().isEmpty());
}

TEST_F(Folders, RemovingARowRemovesItsOwnEntryAcrossEmptyLines) {
  config->ui->Repertoires_sauv->addItems({"/a|*.*|oui", "", "/b|*.*|oui", "", "/c|*.txt|non"});
  config->rebuildFolderView();
  ASSERT_EQ(rows(), QStringList({"/a|*.*|oui", "/b|*.*|oui", "/c|*.txt|non"}));
  selectRow(1);
  EXPECT_TRUE(config->ui->Button2->isEnabled());
  EXPECT_EQ(config->ui->Edit13->text(), "/b");
  config->ui->Button2->click();
  EXPECT_EQ(lines(), QStringList({"/a|*.*|oui", "", "", "/c|*.txt|non"}));
  EXPECT_EQ(rows(), QStringList({"/a|*.*|oui", "/c|*.txt|non"}));
  EXPECT_FALSE(config->ui->Button2->isEnabled());
  selectRow(1);
  config->Button2Click();
  selectRow(0);
  config->Button2Click();
  EXPECT_EQ(lines(), QStringList({"", ""}));
  EXPECT_TRUE(rows().isEmpty());
  config->Button2Click();  // nothing selected: nothing removed
  EXPECT_EQ(lines().size(), 2);
}

}  // namespace

namespace {

TEST(FolderPicker, FoldersOnlyNoNewFolderButtonOpeningAtTheFolderOrTheHomeFolder) {
  testsupport::TempDir dir;
  const QString folder = QString::fromStdString(dir.str());
  for (const auto& [given, opensIn] : {std::pair{QString(), QDir::homePath()}, std::pair{folder, folder}}) {
    const std::unique_ptr<QFileDialog> picker = newFolderDialog(nullptr, "Choisissez le dossier source", given);
    EXPECT_EQ(picker->windowTitle(), "Choisissez le dossier source");
    EXPECT_EQ(picker->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(picker->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_TRUE(picker->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(picker->directory().absolutePath(), opensIn);
    picker->show();
    const auto* newFolder = picker->findChild<QToolButton*>("newFolderButton");
    ASSERT_NE(newFolder, nullptr);
    EXPECT_FALSE(newFolder->isVisible());
    picker->reject();
  }
}

}  // namespace
