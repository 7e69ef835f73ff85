#include "backup/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QResizeEvent>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>

namespace backup {

namespace {

// The name column takes what the values' columns leave of the view. The view narrows when its
// vertical bar shows, which it decides only once the rows are laid out, after the folder is read:
// each change of its width sizes the name column again.
class NameColumnFitter : public QObject {
 public:
  explicit NameColumnFitter(QTreeView* view) : QObject(view), view_(view) { view->viewport()->installEventFilter(this); }

  void fit() const {
    QHeaderView* header = view_->header();
    int values = 0;
    for (int column = 1; column < header->count(); ++column) {
      if (!header->isSectionHidden(column)) values += header->sectionSize(column);
    }
    header->resizeSection(0, std::max(header->sectionSizeHint(0), view_->viewport()->width() - values));
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) {
      const auto* resize = static_cast<QResizeEvent*>(event);
      if (resize->size().width() != resize->oldSize().width()) fit();
    }
    return false;
  }

 private:
  QTreeView* view_;
};

// Qt's file dialogs share one saved state: the columns of English values, or whatever the other
// dialog was last left with. Each folder read sizes them anew: the values' columns to their
// French titles and values, the name column to the rest of the view.
void sizeColumnsToContents(QFileDialog& dialog) {
  dialog.setViewMode(QFileDialog::Detail);
  auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  auto* model = dialog.findChild<QFileSystemModel*>();
  if (!view || !model) return;
  auto* fitter = new NameColumnFitter(view);
  QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view, fitter] {
    for (int column = 1; column < view->header()->count(); ++column) view->resizeColumnToContents(column);
    fitter->fit();
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
