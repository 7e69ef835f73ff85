#include "platform/ui/application.h"

#include <cstdio>

#include "platform/ui/message_box.h"

namespace platform {

namespace {
ExceptionHandler& handler() {
  static ExceptionHandler h;
  return h;
}

void report(const std::string& message) {
  if (!handler()) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return;
  }
  try {
    handler()(message);
  } catch (...) {
    // The handler is the last stop: an error inside it must not loop back into it.
  }
}
}  // namespace

void setExceptionHandler(ExceptionHandler h) { handler() = std::move(h); }

bool deliverSafely(const std::function<void()>& work) {
  try {
    work();
    return true;
  } catch (const std::exception& e) {
    report(e.what());
  } catch (...) {
    report("Exception inconnue");
  }
  return false;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  installQtTranslations();
  setPrompter([](MessageRequest& r) {
    if (!r.input) return messageBox(r);
    return inputQuery(r.caption, r.text, r.value) ? MsgAnswer::Ok : MsgAnswer::Cancel;
  });
}

// No question may reach a box once the application object is gone.
Application::~Application() { setPrompter(nullptr); }

bool Application::notify(QObject* receiver, QEvent* event) {
  bool result = false;
  deliverSafely([&] { result = QApplication::notify(receiver, event); });
  return result;
}

}  // namespace platform
