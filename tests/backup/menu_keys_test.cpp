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

void key(QWidget* window, QEvent::Type type, int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWindowSystemInterface::handleKeyEvent(window->windowHandle(), type, k, modifiers);
  QCoreApplication::processEvents();
}

void press(QWidget* window, int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  key(window, QEvent::KeyPress, k, modifiers);
  key(window, QEvent::KeyRelease, k, modifiers);
}

// As the X server reports it: the press without the modifier it sets, the release with it.
void altAlone(QWidget* w) {
  key(w, QEvent::KeyPress, Qt::Key_Alt);
  key(w, QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
}

// Where the keys go: the open menu, else the window.
QWidget* keyTarget(QWidget* window) {
  return QApplication::activePopupWidget() ? QApplication::activePopupWidget() : window;
}

struct MenuWindow {
  const char* name;
  QMainWindow* window;
  QMenu* first;
};

class MenuKeys : public WindowsTest {
 protected:
  std::vector<MenuWindow> menuWindows() {
    buildWindows();
    return {
        {"configuration", config.get(), config->ui->Fichier1},
        {"history", history.get(), history->findChild<QMenu*>(QStringLiteral("Fichier1"))},
    };
  }
};

void showActive(QMainWindow* window) {
  window->show();
  QApplication::setActiveWindow(window);
  QCoreApplication::processEvents();
}

void closeMenus() {
  while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  QCoreApplication::processEvents();
}

// F10 or Alt alone selects the first title ("Fichier") without opening it; Return or Down then
// opens it with its first entry selected.
TEST_F(MenuKeys, F10OrAltAloneSelectsTheFirstTitleReturnOrDownOpensIt) {
  const struct {
    const char* name;
    std::function<void(QWidget*)> reach;
  } reaches[] = {
      {"F10", [](QWidget* w) { press(w, Qt::Key_F10); }},
      {"Alt alone", &altAlone},
  };
  for (const MenuWindow& w : menuWindows()) {
    for (const auto& r : reaches) {
      for (const int open : {Qt::Key_Return, Qt::Key_Down}) {
        SCOPED_TRACE(std::string(w.name) + ", " + r.name + (open == Qt::Key_Return ? ", Return" : ", Down"));
        showActive(w.window);
        r.reach(w.window);
        EXPECT_EQ(w.window->menuBar()->activeAction(), w.first->menuAction());
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        press(keyTarget(w.window), open);
        EXPECT_EQ(QApplication::activePopupWidget(), w.first);
        EXPECT_EQ(w.first->activeAction(), w.first->actions().value(0));
        // The captions stay as they were: no mnemonic was added for this.
        EXPECT_EQ(w.first->title(), QStringLiteral("Fichier"));
        closeMenus();
        w.window->hide();
      }
    }
  }
}

// Escape leaves: from the selected title at once; from the open menu back to its title, then out.
// The keyboard goes back to the control that had it.
TEST_F(MenuKeys, EscapeLeavesTheMenuBar) {
  for (const MenuWindow& w : menuWindows()) {
    for (const bool opened : {false, true}) {
      SCOPED_TRACE(std::string(w.name) + (opened ? ", menu open" : ", title selected"));
      showActive(w.window);
      QWidget* focused = QApplication::focusWidget();
      press(w.window, Qt::Key_F10);
      if (opened) {
        press(keyTarget(w.window), Qt::Key_Down);
        ASSERT_EQ(QApplication::activePopupWidget(), w.first);
        press(keyTarget(w.window), Qt::Key_Escape);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_EQ(w.window->menuBar()->activeAction(), w.first->menuAction());
      }
      press(keyTarget(w.window), Qt::Key_Escape);
      EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
      EXPECT_EQ(w.window->menuBar()->activeAction(), nullptr);
      EXPECT_EQ(QApplication::focusWidget(), focused);
      closeMenus();
      w.window->hide();
    }
  }
}

}  // namespace
