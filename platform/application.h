#pragma once
// The application object: no exception ever escapes into Qt's event loop; each one is handed to
// the registered handler as its message, as the class library's application exception event did.
#include <QApplication>
#include <functional>
#include <string>

namespace platform {

using ExceptionHandler = std::function<void(const std::string& message)>;
void setExceptionHandler(ExceptionHandler handler);

// Runs work; an exception it throws goes to the handler. Returns false when one was thrown.
bool deliverSafely(const std::function<void()>& work);

class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace platform
