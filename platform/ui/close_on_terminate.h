#pragma once
// A terminate signal (the window manager's "end process", a logout, kill) reaches a window as a
// close does, so that the window's own close decides what stopping means at that moment.
class QWidget;

namespace platform {

// From now on SIGTERM, SIGHUP and SIGINT close window (through its close event) on the window's
// thread, at its next event processing. Once per program.
void closeOnTerminate(QWidget* window);

}  // namespace platform
