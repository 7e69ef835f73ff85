#include "platform/ui/close_on_terminate.h"

#include <fcntl.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <csignal>

namespace platform {

namespace {
// The signal handler may only write: the window thread reads the other end.
int wakeUp[2] = {-1, -1};

void onTerminate(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(wakeUp[1], &byte, 1);
  errno = saved;
}
}  // namespace

void closeOnTerminate(QWidget* window) {
  if (wakeUp[0] >= 0 || pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window, [window = QPointer<QWidget>(window)] {
    char bytes[16];
    while (read(wakeUp[0], bytes, sizeof bytes) > 0) {
    }
    if (window) window->close();
  });
  struct sigaction action {};
  action.sa_handler = onTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) sigaction(signal, &action, nullptr);
}

}  // namespace platform
