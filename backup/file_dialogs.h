#pragma once
// The configuration and history windows' file dialogs: Qt's own dialog in every desktop, so that
// its buttons and columns can be set as these windows need them.
#include <QFileDialog>
#include <QString>
#include <memory>

namespace backup {

// Both dialogs show their folder in detail view, the columns sized to their values each time a
// folder is read, and the name column to what the others leave of the view whenever its width
// changes (its vertical bar showing or going, the dialog resized).

// The folder picker: folders only, no button for making a new folder; it opens in folder, or in
// the user's home folder (the desktop's stand-in) when folder is empty. Not yet shown.
std::unique_ptr<QFileDialog> newFolderDialog(QWidget* parent, const QString& title, const QString& folder);

// The open dialog for log files. filters in Qt's notation ("Fichiers journaux (*.log);;...").
std::unique_ptr<QFileDialog> newLogFileDialog(QWidget* parent, const QString& folder, const QString& filters);

// Shows a dialog modally: the chosen path, or empty text when cancelled.
QString chosenPath(QFileDialog& dialog);

}  // namespace backup
