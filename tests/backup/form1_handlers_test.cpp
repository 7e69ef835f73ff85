#include <QApplication>
#include <map>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include "fmmain_fixture.h"
#include "platform/core/ini_file.h"
#include "platform/ui/shell_open.h"
#include "support/scoped_responder.h"

using namespace backup;

namespace {

using ConfigWindow = WindowsTest;

TEST_F(ConfigWindow, PasswordsAreMaskedWithTheirOwnCharacter) {
  buildWindows();
  const struct {
    QLineEdit* edit;
    QChar mask;
  } cases[] = {
      {config->ui->Edit_1, '*'},
      {config->ui->passe_vesk, '*'},
      {config->ui->passe_proxy, '*'},
      {config->ui->mot_de_passe, '#'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.edit->echoMode(), QLineEdit::Password) << c.edit->objectName().toStdString();
    EXPECT_EQ(QChar(c.edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, c.edit)), c.mask)
        << c.edit->objectName().toStdString();
  }
}

TEST_F(ConfigWindow, TheAnonymousBoxFillsTheAccountBothWays) {
  buildWindows();
  Ui::Form1* f = config->ui.get();
  for (const bool state : {false, true}) {
    f->utilisateur_vesk->setText("bob");
    f->passe_vesk->setText("pw");
    f->anonyme_ftp->setChecked(state);
    EXPECT_EQ(f->utilisateur_vesk->text(), "anonymous");
    EXPECT_EQ(f->passe_vesk->text(), "");
  }
}

TEST_F(ConfigWindow, BothScheduleBoxesSwitchTheScheduleByTheAutomaticBox) {
  buildWindows();
  Ui::Form1* f = config->ui.get();
  f->sauvegarde_auto->setChecked(false);
  f->sauvegarde_auto->setChecked(true);
  EXPECT_TRUE(main->Timer1->isActive());
  main->setStatusPanelText("10:00:00");
  f->sauvegarde_auto->setChecked(false);
  EXPECT_FALSE(main->Timer1->isActive());
  EXPECT_EQ(main->statusPanelText(), "");
  main->Timer1->start();
  main->setStatusPanelText("10:00:00");
  f->rep_auto->toggle();
  EXPECT_FALSE(main->Timer1->isActive());
  EXPECT_EQ(main->statusPanelText(), "");
  main->Timer1->stop();
}

TEST_F(ConfigWindow, TheProxyGroupMirrorsItsIndexIntoTheHiddenEdit) {
  buildWindows();
  config->ui->TypeProxyItem4->click();
  EXPECT_EQ(config->ui->proxy_type->text(), "4");
  EXPECT_EQ(config->Type_proxyItemIndex(), 4);
  config->setType_proxyItemIndex(-1);
  EXPECT_EQ(config->Type_proxyItemIndex(), -1);
  EXPECT_EQ(config->ui->proxy_type->text(), "4");
  config->setType_proxyItemIndex(1);
  EXPECT_EQ(config->ui->proxy_type->text(), "1");
}

TEST_F(ConfigWindow, CloseSavesBothWindowsAndDisablesRemove) {
  buildWindows();
  config->show();
  config->ui->Button2->setEnabled(true);
  main->ui->derniere_sauv->setText("77");
  config->ui->Button1->click();
  EXPECT_FALSE(config->isVisible());
  EXPECT_FALSE(config->ui->Button2->isEnabled());
  const platform::IniFile ini(iniPath().string());
  EXPECT_EQ(ini.readString("fmMain", "derniere_sauv", ""), "77");
  EXPECT_TRUE(ini.sectionExists("Form1"));
  // The title bar's close box only hides.
  std::filesystem::remove(iniPath());
  config->show();
  config->close();
  EXPECT_FALSE(std::filesystem::exists(iniPath()));
}

TEST_F(ConfigWindow, MenuEntriesStartTheUpdaterTheWebPageAndTheAbout) {
  buildWindows();
  QStringList opened;
  platform::setShellOpenHook([&](const QString& t) {
    opened << t;
    return true;
  });
  config->ui->Misejour1->trigger();
  config->ui->SiteWeb1->trigger();
  platform::setShellOpenHook(nullptr);
  EXPECT_EQ(opened, QStringList({QString::fromStdString(dir.str()) + "/Update", TForm1::webPage}));
  testsupport::ScopedResponder answers;
  config->ui->Apropos1->trigger();
  ASSERT_EQ(answers.asked().size(), 1u);
  EXPECT_TRUE(answers.asked()[0].text.startsWith("Version PalvrenFtp : 1.1.2.5\n"));
}

TEST_F(ConfigWindow, TheMainWindowsButtonShowsIt) {
  buildWindows();
  main->ui->SpeedButton2->click();
  EXPECT_TRUE(config->isVisible());
  EXPECT_EQ(config->windowTitle(), "Configuration");
  EXPECT_EQ(main->windowTitle(), "PalvrenFtp");
  EXPECT_EQ(main->size(), QSize(547, 394));
}

// A layout change climbs one level of the page per round of events.
void settle() {
  for (int round = 0; round < 10; ++round) QApplication::processEvents();
}

// Notches of the wheel at a point of the window, as the window system delivers them: through the
// window, spontaneous, so that the application's own focus-on-wheel step runs before any filter.
void wheelAt(QWidget* window, QPoint at, int notches) {
  const int step = notches < 0 ? -1 : 1;
  for (int i = 0; i != notches; i += step) {
    QWindowSystemInterface::handleWheelEvent(window->windowHandle(), at, window->mapToGlobal(at), QPoint(),
                                             QPoint(0, step * 120));
    QCoreApplication::processEvents();
  }
}

// The centre of a widget in its window's coordinates, once it is scrolled into the page's view.
QPoint pointerOver(Ui::Form1* f, QWidget* target) {
  f->ScrollBox3->ensureWidgetVisible(target, 0, 60);
  QCoreApplication::processEvents();
  return target->mapTo(target->window(), target->rect().center());
}

class WheelOverThePage : public ConfigWindow {
 protected:
  void SetUp() override {
    ConfigWindow::SetUp();
    buildWindows();
    config->show();
    QApplication::setActiveWindow(config.get());
    QCoreApplication::processEvents();
    ASSERT_TRUE(config->windowHandle() && config->windowHandle()->isExposed());
    f = config->ui.get();
    f->heure_sauv->setValue(13);
    f->minutes_sauv->setValue(0);
    f->SpinEdit_1->setValue(30);
    bar = f->ScrollBox3->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 40);
  }
  void expectValuesKept() {
    EXPECT_EQ(f->heure_sauv->value(), 13);
    EXPECT_EQ(f->minutes_sauv->value(), 0);
    EXPECT_EQ(f->SpinEdit_1->value(), 30);
  }
  Ui::Form1* f = nullptr;
  QScrollBar* bar = nullptr;
};

TEST_F(WheelOverThePage, OverASpinBoxItScrollsThePageAndChangesNoValue) {
  QSpinBox* const boxes[] = {f->heure_sauv, f->minutes_sauv, f->SpinEdit_1};
  for (QSpinBox* box : boxes) {
    SCOPED_TRACE(box->objectName().toStdString());
    f->Edit13->setFocus();  // the keyboard is elsewhere, as after typing a folder
    const QPoint at = pointerOver(f, box);
    ASSERT_EQ(config->childAt(at), box->findChild<QLineEdit*>());
    const int start = bar->value();
    ASSERT_LE(start + 10, bar->maximum());
    ASSERT_GE(start, 10);
    wheelAt(config.get(), at, -1);
    EXPECT_EQ(bar->value(), start + 10);
    wheelAt(config.get(), at, 2);
    EXPECT_EQ(bar->value(), start - 10);
    EXPECT_EQ(QApplication::focusWidget(), f->ScrollBox3);
  }
  expectValuesKept();
}

TEST_F(WheelOverThePage, AStillPointerOverEveryColumnOfThePageChangesNoSetting) {
  // Every control whose name holds "_" is a setting, saved by "Fermer".
  const auto settings = [this] {
    QStringList values;
    for (const QWidget* w : f->scrollContent->findChildren<QWidget*>()) {
      if (!w->objectName().contains('_')) continue;
      if (const auto* box = qobject_cast<const QSpinBox*>(w)) values << QString::number(box->value());
      if (const auto* edit = qobject_cast<const QLineEdit*>(w)) values << edit->text();
      if (const auto* check = qobject_cast<const QAbstractButton*>(w)) values << QString::number(check->isChecked());
    }
    values << QString::number(config->Type_proxyItemIndex());
    return values;
  };
  const QStringList before = settings();
  QWidget* viewport = f->ScrollBox3->viewport();
  const int y = viewport->height() / 2;
  for (int x = 2; x < viewport->width(); x += 20) {
    const QPoint at = viewport->mapTo(config.get(), QPoint(x, y));
    bar->setValue(0);
    wheelAt(config.get(), at, -(bar->maximum() / 10 + 1));
    EXPECT_EQ(bar->value(), bar->maximum()) << "column " << x;
    wheelAt(config.get(), at, bar->maximum() / 10 + 1);
    EXPECT_EQ(bar->value(), 0) << "column " << x;
  }
  EXPECT_EQ(settings(), before);
  expectValuesKept();
  config->ui->Button1->click();
  const platform::IniFile ini(iniPath().string());
  EXPECT_EQ(ini.readString("Form1", "heure_sauv", ""), "13");
  EXPECT_EQ(ini.readString("Form1", "minutes_sauv", ""), "0");
  EXPECT_EQ(ini.readString("Form1", "SpinEdit_1", ""), "30");
}

TEST_F(WheelOverThePage, ABoxGivenTheKeyboardFocusTakesTheWheel) {
  // A click or Tab gives a box the wheel, as on any desktop, and the page stays.
  for (const Qt::FocusReason reason : {Qt::MouseFocusReason, Qt::TabFocusReason}) {
    f->minutes_sauv->setValue(0);
    const QPoint at = pointerOver(f, f->minutes_sauv);
    f->minutes_sauv->setFocus(reason);
    ASSERT_TRUE(f->minutes_sauv->hasFocus());
    const int start = bar->value();
    wheelAt(config.get(), at, 1);
    EXPECT_EQ(f->minutes_sauv->value(), 1);
    EXPECT_EQ(bar->value(), start);
  }
}

TEST_F(ConfigWindow, ALongConnectionTestResultWrapsWithinThePage) {
  buildWindows();
  config->show();
  Ui::Form1* f = config->ui.get();
  settle();
  const int pageWidth = f->scrollContent->width();
  f->Label23->setText(
      "Impossible de se connecter au serveur ftp.un-hote-tres-lointain.example.com sur le port 2121 : "
      "la connexion a été refusée par l'hôte distant après plusieurs tentatives, vérifiez l'adresse et le port");
  settle();
  EXPECT_EQ(f->scrollContent->width(), pageWidth);
  EXPECT_LE(f->scrollContent->width(), f->ScrollBox3->viewport()->width());
  EXPECT_GE(f->Button4->width(), f->Button4->sizeHint().width());
  // Every line of the text is inside the label.
  EXPECT_LE(f->Label23->geometry().right(), f->Label23->parentWidget()->contentsRect().right());
  EXPECT_GE(f->Label23->height(), f->Label23->heightForWidth(f->Label23->width()));
}

TEST_F(ConfigWindow, EachPortFieldLinesUpWithTheFieldsAboveIt) {
  buildWindows();
  config->show();
  QApplication::processEvents();
  Ui::Form1* f = config->ui.get();
  const struct {
    QWidget* port;
    QWidget* above;
  } cases[] = {{f->Port_ftp, f->passe_vesk}, {f->port_proxy, f->passe_proxy}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port->objectName().toStdString());
    EXPECT_EQ(c.port->geometry().left(), c.above->geometry().left());
    EXPECT_EQ(c.port->geometry().right(), c.above->geometry().right());
  }
}

TEST_F(ConfigWindow, TheConnectionResultChangesOnlyItsOwnSpace) {
  buildWindows();
  config->show();
  Ui::Form1* f = config->ui.get();
  settle();
  const auto place = [f](QWidget* w) { return QRect(w->mapTo(f->scrollContent, QPoint(0, 0)), w->size()); };
  const QRect list = place(f->ListView1);
  const QRect button = place(f->Button4);
  const QRect mailTitle = place(f->title46);
  // The height of every section of the page but the label's own.
  const auto otherSections = [f] {
    std::map<std::string, int> heights;
    for (const QWidget* w : f->scrollContent->findChildren<QFrame*>(Qt::FindDirectChildrenOnly)) {
      if (!w->isAncestorOf(f->Label23)) heights[w->objectName().toStdString()] = w->height();
    }
    return heights;
  };
  const std::map<std::string, int> sections = otherSections();
  const QString longText =
      "Impossible de se connecter au serveur ftp.un-hote-tres-lointain.example.com sur le port 2121 : "
      "la connexion a été refusée par l'hôte distant après plusieurs tentatives, vérifiez l'adresse et le port "
      "ainsi que le nom d'utilisateur et le mot de passe du compte";
  for (const QString& text : {longText, QStringLiteral("Connexion OK"), longText, QString()}) {
    SCOPED_TRACE(text.toStdString());
    f->Label23->setText(text);
    settle();
    if (text == longText) {
      ASSERT_GE(f->Label23->height(), 3 * f->Label23->fontMetrics().height());
    }
    EXPECT_EQ(place(f->ListView1), list);
    EXPECT_EQ(place(f->Button4), button);
    EXPECT_EQ(otherSections(), sections);
    // A one-line result gives the page back its first layout.
    if (text != longText) {
      EXPECT_EQ(place(f->title46), mailTitle);
    }
  }
}

}  // namespace
