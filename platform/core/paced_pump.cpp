#include "platform/core/paced_pump.h"

#include <QCoreApplication>

#include "platform/core/clock.h"

namespace platform {

namespace {
bool ran = false;
qint64 lastRun = 0;

// A clock put in place by a test may stand behind the last pass: that counts as due.
bool dueAt(qint64 now) { return !ran || now < lastRun || now - lastRun >= kPumpSliceMs; }
}  // namespace

bool pumpDue() { return dueAt(clock().steadyMs()); }

void pumpWindows() {
  const qint64 now = clock().steadyMs();
  if (!dueAt(now)) return;
  // Set before the pass: an event handler that loops in its turn pumps too.
  ran = true;
  lastRun = now;
  QCoreApplication::processEvents();
}

}  // namespace platform
