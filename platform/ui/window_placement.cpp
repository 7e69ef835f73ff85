#include "platform/ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace platform {

QPoint placeFrame(const QRect& ownerFrame, const QSize& frameSize, const QRect& available) {
  QPoint at(ownerFrame.x() + (ownerFrame.width() - frameSize.width()) / 2,
            ownerFrame.y() + (ownerFrame.height() - frameSize.height()) / 2);
  if (!available.isValid()) return at;
  at.setX(std::max(available.left(), std::min(at.x(), available.right() + 1 - frameSize.width())));
  at.setY(std::max(available.top(), std::min(at.y(), available.bottom() + 1 - frameSize.height())));
  return at;
}

namespace {
// The window frame's margins; before a window's first showing they are unknown, and the
// owner's, drawn by the same window manager, stand in for them.
QMargins frameMargins(const QWidget* w) {
  const QRect frame = w->frameGeometry();
  const QRect client = w->geometry();
  return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
          frame.bottom() - client.bottom()};
}
}  // namespace

void centreOnOwner(QWidget* window, const QWidget* owner) {
  const QRect ownerFrame = owner ? owner->frameGeometry() : QRect();
  QScreen* screen = ownerFrame.isValid() ? QGuiApplication::screenAt(ownerFrame.center()) : nullptr;
  if (!screen) screen = owner ? owner->screen() : window->screen();
  const QRect available = screen ? screen->availableGeometry() : QRect();
  QMargins margins = frameMargins(window);
  if (margins.isNull() && owner) margins = frameMargins(owner);
  const QSize frameSize = window->size().grownBy(margins);
  const QPoint at = placeFrame(ownerFrame.isValid() ? ownerFrame : available, frameSize, available);
  window->move(at);
  // Before the first showing Qt would pass the place on as the client area's; the native
  // window is told it is the frame's.
  if (QWindow* native = window->windowHandle()) native->setFramePosition(at);
}

}  // namespace platform
