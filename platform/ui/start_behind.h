#pragma once
// A program started behind a window that waits for the user (the updater's last box) must not
// take the keyboard from it, or the key meant for that window reaches the program. The programs
// read no command line: the starter says so through this variable of the program's environment.
class QWidget;

namespace platform {

inline constexpr char startBehindVariable[] = "PALVREN_START_BEHIND";

// Shows the program's first window; when the program was started behind, without activating it
// (the window manager is asked not to give it the focus) and below the other windows. The
// variable goes with this first show, so that a later show, or a program started from this one,
// takes the keyboard as usual.
void showAtStart(QWidget* window);

}  // namespace platform
