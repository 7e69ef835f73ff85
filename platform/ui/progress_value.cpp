#include "platform/ui/progress_value.h"

#include <QProgressBar>

namespace platform {

void setProgressValue(QProgressBar* bar, int value) {
  if (bar->value() == value) return;
  // Painting is off while the value changes; turned on again, the bar asks for an update.
  const bool enabled = bar->updatesEnabled();
  bar->setUpdatesEnabled(false);
  bar->setValue(value);
  bar->setUpdatesEnabled(enabled);
}

}  // namespace platform
