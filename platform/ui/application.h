#pragma once
// The application object: no exception ever escapes into Qt's event loop; each one is handed to
// the registered handler as its message, as the class library's application exception event did.
#include <QApplication>
#include <functional>
#include <string>

#include "platform/ui/qt_translations.h"

namespace platform {

using ExceptionHandler = std::function<void(const std::string& message)>;
void setExceptionHandler(ExceptionHandler handler);

// Runs work; an exception it throws goes to the handler. Returns false when one was thrown.
bool deliverSafely(const std::function<void()>& work);

// Installs Qt's French texts and the message box as the libraries' prompter as it starts.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  ~Application() override;
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace platform
