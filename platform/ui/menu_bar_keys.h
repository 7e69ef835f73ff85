#pragma once
// F10, or Alt pressed and released alone, opens a window's menu bar at its first menu, as on the
// desktop the programs were written for; the captions need no mnemonic for it.
class QMainWindow;

namespace platform {

void openMenuBarFromKeyboard(QMainWindow* window);

}  // namespace platform
