#pragma once
// The menu bar from the keyboard, as on the desktops the users know: F10, or Alt pressed and
// released alone, selects the first title without opening it; Left and Right move along the
// titles; Return, Down or Up open the selected one with its first entry selected; Escape closes
// an open menu back to its title, and leaves the bar from a title. The captions need no mnemonic.
class QMainWindow;

namespace platform {

void openMenuBarFromKeyboard(QMainWindow* window);

}  // namespace platform
