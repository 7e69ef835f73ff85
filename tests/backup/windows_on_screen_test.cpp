#include <QGuiApplication>
#include <QScreen>

#include <functional>
#include <tuple>

#include "fmmain_fixture.h"
#include "support/scoped_responder.h"
#include "support/temp_dir.h"

using namespace backup;

namespace {

class WindowsOnScreen : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    buildWindows();
    testsupport::writeFile(logPath(clock.now().date()), "ligne\r\n");
    history->setFileChooser(
        [this](const QString&) { return QString::fromStdString(logPath(clock.now().date()).string()); });
  }
  QRect available() const { return main->screen()->availableGeometry(); }
};

TEST_F(WindowsOnScreen, TheConfigurationAndHistoryWindowsOpenInsideTheScreenCentredOnTheMainWindow) {
  const QRect area = available();
  const QPoint corners[] = {area.center() - QPoint(273, 197), area.bottomRight() - QPoint(200, 150),
                            area.topLeft() - QPoint(100, 80)};
  for (const QPoint& corner : corners) {
    main->move(corner);
    main->show();
    const struct {
      const char* name;
      QWidget* window;
      std::function<void()> open;
      std::function<void()> close;
    } windows[] = {
        {"configuration", config.get(), [this] { main->ui->SpeedButton2->click(); }, [this] { config->hide(); }},
        {"history", history.get(), [this] { history->Ouvrirfichiersjournaux1Click(); }, [this] { history->hide(); }},
    };
    for (const auto& w : windows) {
      w.open();
      ASSERT_TRUE(w.window->isVisible()) << w.name;
      const QRect frame = w.window->frameGeometry();
      EXPECT_TRUE(area.contains(frame)) << w.name << " at " << frame.x() << "," << frame.y();
      // Centred on the main window along each axis where the screen leaves room for it.
      const QPoint centred = main->frameGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2);
      for (const auto& [wanted, got, low, high] :
           {std::tuple{centred.x(), frame.x(), area.left(), area.right() + 1 - frame.width()},
            std::tuple{centred.y(), frame.y(), area.top(), area.bottom() + 1 - frame.height()}}) {
        if (wanted >= low && wanted <= high) {
          EXPECT_NEAR(got, wanted, 1) << w.name;
        }
      }
      w.close();
    }
  }
}

// Wherever other windows stand (the updater's, when it restarts the program), the main window
// opens in the middle of the screen, and the configuration window centred on it.
using MainWindowPlace = WindowsTest;

TEST_F(MainWindowPlace, OpensInTheMiddleOfTheScreen) {
  const auto available = [] { return QGuiApplication::primaryScreen()->availableGeometry(); };
  QWidget other;
  other.setGeometry(available().center().x() - 195, available().center().y() - 76, 390, 153);
  other.show();
  buildWindows();
  main->show();
  EXPECT_NEAR(main->frameGeometry().center().x(), available().center().x(), 4);
  EXPECT_NEAR(main->frameGeometry().center().y(), available().center().y(), 4);
  main->ui->SpeedButton2->click();
  EXPECT_TRUE(available().contains(config->frameGeometry()));
  EXPECT_NEAR(config->frameGeometry().center().x(), available().center().x(), 4);
}

TEST_F(WindowsOnScreen, HidingAndShowingFromTheTrayKeepThePlaceAndSize) {
  const std::function<void()> hidings[] = {
      [this] { main->ui->BitBtn1->click(); },
      [this] { main->Rduire1->trigger(); },
      [this] {
        testsupport::ScopedResponder answers({platform::MsgAnswer::No});
        main->close();
      },
  };
  for (const auto& hide : hidings) {
    main->show();
    main->move(250, 200);
    const QRect before = main->frameGeometry();
    hide();
    ASSERT_FALSE(main->isVisible());
    main->RxTrayIcon1Click();
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->frameGeometry(), before);
  }
}

}  // namespace
