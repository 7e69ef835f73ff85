#pragma once
// Where the programs' secondary windows open: their frame centred on the window that opens
// them, then moved just enough to lie inside the screen's available area, as the desktop's own
// dialogs do, so that the title bar and the buttons can always be reached.
#include <QRect>

class QWidget;

namespace platform {

// The frame's top-left corner. A frame larger than the area keeps its top-left corner inside it.
QPoint placeFrame(const QRect& ownerFrame, const QSize& frameSize, const QRect& available);

// Moves window (a top-level window) that way on owner, on the screen that shows owner's centre;
// without an owner, in the middle of the available area of the window's screen.
void centreOnOwner(QWidget* window, const QWidget* owner);

}  // namespace platform
