#pragma once
// The configuration and history windows' file dialogs: Qt's own dialog in every desktop, so that
// its buttons and columns can be set as these windows need them.
#include <QFileDialog>
#include <QString>
#include <memory>

namespace backup {

// The folder picker: folders only, no button for making a new folder; it opens in folder, or in
// the user's home folder (the desktop's stand-in) when folder is empty. Not yet shown.
std::unique_ptr<QFileDialog> newFolderDialog(QWidget* parent, const QString& title, const QString& folder);

// The open dialog for log files, in detail view, its columns widened to their values once the
// folder is read. filters in Qt's notation ("Fichiers journaux (*.log);;...").
std::unique_ptr<QFileDialog> newLogFileDialog(QWidget* parent, const QString& folder, const QString& filters);

// Shows a dialog modally: the chosen path, or empty text when cancelled.
QString chosenPath(QFileDialog& dialog);

}  // namespace backup
