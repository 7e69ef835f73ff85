#pragma once
// Qt's own texts (file dialogs, edit menus) in French.
#include <QLibraryInfo>
#include <QString>

class QTranslator;

namespace platform {

// Installs "qtbase_fr" from the given folder; the installed translator, or nullptr when the file
// is missing, which is no error.
QTranslator* installQtTranslations(const QString& folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath));

}  // namespace platform
