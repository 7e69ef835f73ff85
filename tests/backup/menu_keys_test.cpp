// The menu bars of the configuration and history windows reached from the keyboard, with keys
// delivered as the window system delivers them.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include "fmmain_fixture.h"

using namespace backup;

namespace {

using MenuKeys = WindowsTest;

void key(QWidget* window, QEvent::Type type, int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWindowSystemInterface::handleKeyEvent(window->windowHandle(), type, k, modifiers);
  QCoreApplication::processEvents();
}

void press(QWidget* window, int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  key(window, QEvent::KeyPress, k, modifiers);
  key(window, QEvent::KeyRelease, k, modifiers);
}

// F10 or Alt alone, then Down, opens the first menu ("Fichier"); its entries are then a key away.
TEST_F(MenuKeys, F10OrAltAloneOpensTheMenuBar) {
  buildWindows();
  const struct {
    const char* name;
    QMainWindow* window;
    QMenu* first;
  } windows[] = {
      {"configuration", config.get(), config->ui->Fichier1},
      {"history", history.get(), history->findChild<QMenu*>(QStringLiteral("Fichier1"))},
  };
  const struct {
    const char* name;
    std::function<void(QWidget*)> reach;
  } keys[] = {
      {"F10", [](QWidget* w) { press(w, Qt::Key_F10); }},
      {"Alt alone",
       [](QWidget* w) {
         key(w, QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
         key(w, QEvent::KeyRelease, Qt::Key_Alt);
       }},
  };
  for (const auto& w : windows) {
    for (const auto& k : keys) {
      SCOPED_TRACE(std::string(w.name) + ", " + k.name);
      w.window->show();
      QApplication::setActiveWindow(w.window);
      QCoreApplication::processEvents();
      k.reach(w.window);
      QWidget* target = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : w.window;
      press(target, Qt::Key_Down);
      EXPECT_EQ(QApplication::activePopupWidget(), w.first);
      // The captions stay as they were: no mnemonic was added for this.
      EXPECT_EQ(w.first->title(), QStringLiteral("Fichier"));
      while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
      QCoreApplication::processEvents();
      w.window->hide();
    }
  }
}

}  // namespace
