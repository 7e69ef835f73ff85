#pragma once
// The application object: no exception ever escapes into Qt's event loop; each one is handed to
// the registered handler as its message, as the class library's application exception event did.
#include <QApplication>
#include <QLibraryInfo>
#include <functional>
#include <string>

namespace platform {

using ExceptionHandler = std::function<void(const std::string& message)>;
void setExceptionHandler(ExceptionHandler handler);

// Runs work; an exception it throws goes to the handler. Returns false when one was thrown.
bool deliverSafely(const std::function<void()>& work);

// Qt's own texts (file dialogs, edit menus) in French, from "qtbase_fr" in the given folder;
// the installed translator, or nullptr when the file is missing, which is no error.
class QTranslator* installQtTranslations(const QString& folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath));

// Installs Qt's French texts and the message box as the libraries' prompter as it starts.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  ~Application() override;
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace platform
