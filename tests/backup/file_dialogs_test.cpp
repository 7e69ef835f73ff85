// The folder picker and the log files' dialog over a folder of logs, with Qt's French texts.
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QSettings>
#include <QThread>
#include <QTranslator>
#include <QTreeView>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "backup/file_dialogs.h"
#include "platform/ui/qt_translations.h"
#include "support/temp_dir.h"

using namespace backup;

namespace {

class FileDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    // Qt keeps the state of its file dialogs in the user's settings: here, in the test's own folder.
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
      QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(settings.str()));
    french = platform::installQtTranslations();
    ASSERT_NE(french, nullptr);
    std::filesystem::create_directory(logs / "anciens");
    testsupport::writeFile(logs / "20261209.log", "10:00:00 : Démarrage de la sauvegarde\r\n");
  }
  void TearDown() override {
    QCoreApplication::removeTranslator(french);
    delete french;
  }
  QString folder() const { return QString::fromStdString(logs.str()); }

  testsupport::TempDir settings;
  testsupport::TempDir logs;
  QTranslator* french = nullptr;
};

// Shows the dialog in its detail view and waits until its folder is read and laid out.
QTreeView* shownDetails(QFileDialog& dialog) {
  dialog.resize(640, 420);
  dialog.show();
  auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  if (!view) return nullptr;
  for (int i = 0; i < 500 && view->model()->rowCount(view->rootIndex()) == 0; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(10);
  }
  for (int i = 0; i < 20; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  return view;
}

// Every column as wide as its title and its values, and all of them within the view.
void expectColumnsFitTheirContents(QTreeView* view) {
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(view->isVisible());
  QHeaderView* header = view->header();
  ASSERT_EQ(header->count(), 4);
  for (int column = 1; column < header->count(); ++column) {
    EXPECT_GE(header->sectionSize(column), std::max(static_cast<QAbstractItemView*>(view)->sizeHintForColumn(column), header->sectionSizeHint(column)))
        << "column " << column;
  }
  EXPECT_LE(header->length(), view->viewport()->width());
  EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
}

// What a user leaves behind: a wide name column and a narrow date.
void leaveOddColumns(QTreeView* view) {
  view->header()->resizeSection(0, 1500);
  view->header()->resizeSection(3, 20);
}

TEST_F(FileDialogs, EachOpensWithItsColumnsSizedToTheirValuesWhateverTheOtherLeft) {
  {
    const std::unique_ptr<QFileDialog> logs = newLogFileDialog(nullptr, folder(), "Fichiers journaux (*.log)");
    QTreeView* view = shownDetails(*logs);
    expectColumnsFitTheirContents(view);
    leaveOddColumns(view);
  }
  {
    const std::unique_ptr<QFileDialog> picker = newFolderDialog(nullptr, "Choisissez le dossier source", folder());
    QTreeView* view = shownDetails(*picker);
    expectColumnsFitTheirContents(view);
    const QModelIndex sub = view->model()->index(0, 2, view->rootIndex());
    EXPECT_EQ(view->model()->data(sub).toString(), "Dossier");
    EXPECT_EQ(view->model()->headerData(3, Qt::Horizontal).toString(), "Dernière modification");
    leaveOddColumns(view);
  }
  const std::unique_ptr<QFileDialog> logs = newLogFileDialog(nullptr, folder(), "Fichiers journaux (*.log)");
  expectColumnsFitTheirContents(shownDetails(*logs));
}

// A folder longer than the view: the vertical bar takes its width from the view, and the columns
// still fit beside it.
TEST_F(FileDialogs, ColumnsFitBesideTheVerticalBarOfALongFolder) {
  testsupport::TempDir many;
  for (int i = 1; i <= 40; ++i) {
    char day[16];
    std::snprintf(day, sizeof day, "202612%02d", i);
    std::filesystem::create_directory(many / ("dossier" + std::string(day)));
    testsupport::writeFile(many / (std::string(day) + ".log"), "ligne\r\n");
  }
  const QString folder = QString::fromStdString(many.str());
  const struct {
    const char* name;
    std::unique_ptr<QFileDialog> dialog;
  } cases[] = {
      {"log files", newLogFileDialog(nullptr, folder, "Fichiers journaux (*.log)")},
      {"folder picker", newFolderDialog(nullptr, "Choisissez le dossier source", folder)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QTreeView* view = shownDetails(*c.dialog);
    ASSERT_NE(view, nullptr);
    ASSERT_GE(view->model()->rowCount(view->rootIndex()), 40);
    EXPECT_TRUE(view->verticalScrollBar()->isVisible());
    expectColumnsFitTheirContents(view);
    c.dialog->hide();
  }
}

}  // namespace
