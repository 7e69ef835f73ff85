#include "platform/ui/start_behind.h"

#include <QWidget>

namespace platform {

void showAtStart(QWidget* window) {
  const bool behind = qEnvironmentVariableIsSet(startBehindVariable);
  qunsetenv(startBehindVariable);
  // On X11 the window maps with a user time of 0, which tells the window manager not to focus it;
  // it would still come up over the window that keeps the focus, and hide it: it goes below.
  window->setAttribute(Qt::WA_ShowWithoutActivating, behind);
  window->show();
  window->setAttribute(Qt::WA_ShowWithoutActivating, false);
  if (behind) window->lower();
}

}  // namespace platform
