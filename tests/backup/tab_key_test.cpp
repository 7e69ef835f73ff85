// Tab in the windows' multi-line fields, pressed as the window system delivers it.
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include "fmmain_fixture.h"

using namespace backup;

namespace {

using TabKey = WindowsTest;

// One press and release of Tab through the window, spontaneous, to whatever has the focus.
void pressTab(QWidget* window) {
  for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
    QWindowSystemInterface::handleKeyEvent(window->windowHandle(), type, Qt::Key_Tab, Qt::NoModifier,
                                           QStringLiteral("\t"));
  QCoreApplication::processEvents();
}

void showActive(QWidget* window) {
  window->show();
  QApplication::setActiveWindow(window);
  QCoreApplication::processEvents();
}

// From "Mot de passe" the first Tab enters the signature, the next goes on to the following
// control: no tab character reaches the field, nor the saved settings.
TEST_F(TabKey, MovesThroughTheSignatureFieldWithoutTypingIntoIt) {
  buildWindows();
  Ui::Form1* f = config->ui.get();
  f->signature_mail->setPlainText("Société");
  showActive(config.get());
  f->mot_de_passe->setFocus(Qt::OtherFocusReason);
  ASSERT_EQ(QApplication::focusWidget(), f->mot_de_passe);

  pressTab(config.get());
  EXPECT_EQ(QApplication::focusWidget(), f->signature_mail);
  pressTab(config.get());
  EXPECT_NE(QApplication::focusWidget(), f->signature_mail);
  EXPECT_EQ(f->signature_mail->toPlainText(), "Société");

  config->Button1Click();
  EXPECT_EQ(testsupport::readFile(iniPath()).find('\t'), std::string::npos);
}

// Every other multi-line field of the windows lets Tab go on too.
TEST_F(TabKey, LeavesEveryMultiLineField) {
  buildWindows();
  main->ui->Memo1->appendLine("ligne");
  history->memo()->setPlainText("ligne");
  const struct {
    QWidget* window;
    QPlainTextEdit* field;
  } cases[] = {
      {main.get(), main->ui->Memo1},
      {history.get(), history->memo()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field->objectName().toStdString() + " of " + c.window->objectName().toStdString());
    showActive(c.window);
    c.field->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), c.field);
    const QString before = c.field->toPlainText();
    pressTab(c.window);
    EXPECT_NE(QApplication::focusWidget(), c.field);
    EXPECT_EQ(c.field->toPlainText(), before);
    c.window->hide();
  }
}

}  // namespace
