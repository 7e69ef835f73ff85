#include "backup/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>

namespace backup {

namespace {

// Qt's file dialogs share one saved state: the columns of English values, or whatever the other
// dialog was last left with. Each folder read sizes them anew: the values' columns to their
// French titles and values, the name column to the rest of the view.
void sizeColumnsToContents(QFileDialog& dialog) {
  dialog.setViewMode(QFileDialog::Detail);
  auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  auto* model = dialog.findChild<QFileSystemModel*>();
  if (!view || !model) return;
  QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
    QHeaderView* header = view->header();
    int values = 0;
    for (int column = 1; column < header->count(); ++column) {
      view->resizeColumnToContents(column);
      if (!header->isSectionHidden(column)) values += header->sectionSize(column);
    }
    header->resizeSection(0, std::max(header->sectionSizeHint(0), view->viewport()->width() - values));
  });
}

}  // namespace

std::unique_ptr<QFileDialog> newFolderDialog(QWidget* parent, const QString& title, const QString& folder) {
  auto dialog = std::make_unique<QFileDialog>(parent, title, folder.isEmpty() ? QDir::homePath() : folder);
  dialog->setFileMode(QFileDialog::Directory);
  // The desktop's own pickers cannot hide their "new folder" button; Qt's can.
  dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (auto* newFolder = dialog->findChild<QToolButton*>(QStringLiteral("newFolderButton"))) newFolder->hide();
  sizeColumnsToContents(*dialog);
  return dialog;
}

std::unique_ptr<QFileDialog> newLogFileDialog(QWidget* parent, const QString& folder, const QString& filters) {
  auto dialog = std::make_unique<QFileDialog>(parent, QStringLiteral("Ouvrir"), folder, filters);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  sizeColumnsToContents(*dialog);
  return dialog;
}

QString chosenPath(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.first();
}

}  // namespace backup
