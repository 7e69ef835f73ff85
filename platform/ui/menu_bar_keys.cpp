#include "platform/ui/menu_bar_keys.h"

#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyleOptionMenuItem>

namespace platform {

namespace {

// Qt has the whole keyboard road of a menu bar (Alt alone, the arrows, Return, Escape) but lets
// the style switch it on; the desktop's style leaves it off, and draws a title as selected only
// while its menu is open. This style switches it on and shows the title the keyboard selected.
class KeyboardMenuBarStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_MenuBar_AltKeyNavigation) return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element == CE_MenuBarItem && item && (item->state & State_Selected) && widget && widget->hasFocus()) {
      QStyleOptionMenuItem selected = *item;
      selected.state |= State_Sunken;
      QProxyStyle::drawControl(element, &selected, painter, widget);
      return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }
};

// F10 takes the road of Alt alone: the bar watches its window's keys for Alt pressed alone (seen
// as its shortcut override) and released, its only way into the keyboard road. The events are
// those the window system sends: Alt's own press without the Alt modifier, its release with it.
// As Alt, a second F10 leaves the bar.
void toggleKeyboardMode(QMenuBar* bar) {
  QKeyEvent pressed(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::NoModifier);
  QKeyEvent released(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
  QObject* watcher = bar;
  watcher->eventFilter(bar->window(), &pressed);
  watcher->eventFilter(bar->window(), &released);
}

}  // namespace

void openMenuBarFromKeyboard(QMainWindow* window) {
  QMenuBar* bar = window->menuBar();
  auto* style = new KeyboardMenuBarStyle;
  style->setParent(bar);
  bar->setStyle(style);
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window);
  QObject::connect(f10, &QShortcut::activated, bar, [bar] { toggleKeyboardMode(bar); });
}

}  // namespace platform
