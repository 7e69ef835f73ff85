#include <QApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QWheelEvent>

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

// One notch of the wheel over a widget, delivered as the pointer's target gets it.
void wheel(QWidget* target, int notches) {
  const QPointF at(target->width() / 2.0, target->height() / 2.0);
  QWheelEvent e(at, target->mapToGlobal(at), QPoint(), QPoint(0, notches * 120), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &e);
}

TEST_F(ConfigWindow, TheWheelOverAControlScrollsThePageAndChangesNoValue) {
  buildWindows();
  config->show();
  Ui::Form1* f = config->ui.get();
  f->heure_sauv->setValue(13);
  f->minutes_sauv->setValue(0);
  f->SpinEdit_1->setValue(30);
  QScrollBar* bar = f->ScrollBox3->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 40);
  QSpinBox* const boxes[] = {f->heure_sauv, f->minutes_sauv, f->SpinEdit_1};
  for (QSpinBox* box : boxes) {
    // Over the box itself and over the text field inside it, where the pointer usually is.
    for (QWidget* target : {static_cast<QWidget*>(box), static_cast<QWidget*>(box->findChild<QLineEdit*>())}) {
      ASSERT_NE(target, nullptr);
      bar->setValue(20);
      wheel(target, -1);
      EXPECT_EQ(bar->value(), 30) << box->objectName().toStdString();
      wheel(target, 1);
      wheel(target, 1);
      EXPECT_EQ(bar->value(), 10) << box->objectName().toStdString();
      EXPECT_EQ(config->focusWidget(), f->ScrollBox3) << box->objectName().toStdString();
    }
  }
  EXPECT_EQ(f->heure_sauv->value(), 13);
  EXPECT_EQ(f->minutes_sauv->value(), 0);
  EXPECT_EQ(f->SpinEdit_1->value(), 30);
  // A box that has the keyboard focus takes the wheel, as on any desktop, and the page stays.
  QApplication::setActiveWindow(config.get());
  f->minutes_sauv->setFocus();
  ASSERT_TRUE(f->minutes_sauv->hasFocus());
  bar->setValue(20);
  wheel(f->minutes_sauv, 1);
  EXPECT_EQ(f->minutes_sauv->value(), 1);
  EXPECT_EQ(bar->value(), 20);
}

TEST_F(ConfigWindow, ALongConnectionTestResultWrapsWithinThePage) {
  buildWindows();
  config->show();
  Ui::Form1* f = config->ui.get();
  // A layout change climbs one level of the page per round of events.
  const auto settle = [] {
    for (int round = 0; round < 10; ++round) QApplication::processEvents();
  };
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

}  // namespace
