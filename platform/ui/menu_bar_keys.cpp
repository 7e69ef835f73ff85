#include "platform/ui/menu_bar_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QShortcut>

namespace platform {

namespace {

void openFirstMenu(QMainWindow* window) {
  QMenuBar* bar = window->menuBar();
  for (QAction* action : bar->actions()) {
    if (action->isVisible() && action->isEnabled() && !action->isSeparator()) {
      bar->setActiveAction(action);
      return;
    }
  }
}

// Alt alone: its press, with no other key or click before its release, in this window.
class AltAlone : public QObject {
 public:
  explicit AltAlone(QMainWindow* window) : QObject(window), window_(window) { qApp->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // A key reaches the native window first, then the focused control: only the latter counts.
    if (!watched->isWidgetType()) return false;
    switch (event->type()) {
      case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat()) break;
        armed_ = key->key() == Qt::Key_Alt && (key->modifiers() & ~Qt::AltModifier) == Qt::NoModifier &&
                 inWindow(watched) && !QApplication::activePopupWidget();
        break;
      }
      case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat() || key->key() != Qt::Key_Alt) break;
        const bool open = armed_ && inWindow(watched);
        armed_ = false;
        if (open) {
          openFirstMenu(window_);
          return true;
        }
        break;
      }
      case QEvent::MouseButtonPress:
      case QEvent::Wheel:
      case QEvent::FocusOut:
        armed_ = false;
        break;
      default:
        break;
    }
    return false;
  }

 private:
  bool inWindow(QObject* watched) const {
    return static_cast<QWidget*>(watched)->window() == window_ && window_->isActiveWindow();
  }

  QMainWindow* window_;
  bool armed_ = false;
};

}  // namespace

void openMenuBarFromKeyboard(QMainWindow* window) {
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window);
  QObject::connect(f10, &QShortcut::activated, window, [window] { openFirstMenu(window); });
  new AltAlone(window);
}

}  // namespace platform
