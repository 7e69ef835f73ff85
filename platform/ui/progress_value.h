#pragma once
// A progress bar's value set without painting it there and then.
class QProgressBar;

namespace platform {

// QProgressBar::setValue repaints at once; a loop that reports progress per file then paints
// per file, whatever the pacing of its event passes. Here the value is current at once and the
// bar is painted by the next pass of the window's events.
void setProgressValue(QProgressBar* bar, int value);

}  // namespace platform
