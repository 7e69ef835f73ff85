#include "backup/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QToolButton>
#include <QTreeView>

namespace backup {

std::unique_ptr<QFileDialog> newFolderDialog(QWidget* parent, const QString& title, const QString& folder) {
  auto dialog = std::make_unique<QFileDialog>(parent, title, folder.isEmpty() ? QDir::homePath() : folder);
  dialog->setFileMode(QFileDialog::Directory);
  // The desktop's own pickers cannot hide their "new folder" button; Qt's can.
  dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (auto* newFolder = dialog->findChild<QToolButton*>(QStringLiteral("newFolderButton"))) newFolder->hide();
  return dialog;
}

std::unique_ptr<QFileDialog> newLogFileDialog(QWidget* parent, const QString& folder, const QString& filters) {
  auto dialog = std::make_unique<QFileDialog>(parent, QStringLiteral("Ouvrir"), folder, filters);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setViewMode(QFileDialog::Detail);
  // The columns are sized for English values; French dates and types are wider.
  auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
  auto* model = dialog->findChild<QFileSystemModel*>();
  if (view && model) {
    QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
      for (int column = 1; column < view->model()->columnCount(); ++column) view->resizeColumnToContents(column);
    });
  }
  return dialog;
}

QString chosenPath(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.first();
}

}  // namespace backup
