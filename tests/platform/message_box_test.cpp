#include "platform/ui/message_box.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>

#include "support/scoped_responder.h"

namespace {

using platform::MsgAnswer;
using platform::MsgButtons;

TEST(MessageBox, TheResponderAnswersInOrderAndRecordsEveryQuestion) {
  testsupport::ScopedResponder responder({MsgAnswer::No, MsgAnswer::Yes});
  EXPECT_EQ(platform::messageBox({"Titre", "Q1", MsgButtons::YesNo}), MsgAnswer::No);
  EXPECT_EQ(platform::messageBox({"", "Q2", MsgButtons::YesNo}), MsgAnswer::Yes);
  EXPECT_EQ(platform::messageBox({"", "Q3", MsgButtons::YesNo}), MsgAnswer::Closed);
  platform::showMessage("Info");
  ASSERT_EQ(responder.asked().size(), 4u);
  EXPECT_EQ(responder.asked()[0].caption, "Titre");
  // Without a caption of its own a box carries the application's title.
  EXPECT_EQ(responder.asked()[1].caption, QCoreApplication::applicationName());
  EXPECT_EQ(responder.asked()[3].text, "Info");
  EXPECT_EQ(responder.asked()[3].buttons, MsgButtons::Ok);
}

// A real box, without a responder: what a server sent is shown as typed, tags and all.
TEST(MessageBox, TextIsShownAsPlainText) {
  const QString text = QStringLiteral("<b>503</b> Service <i>indisponible</i> &amp; <a href=\"x\">lien</a>");
  Qt::TextFormat shownFormat = Qt::RichText;
  QString shownText;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (!box || !box->isVisible()) continue;
      if (const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        shownFormat = label->textFormat();
        shownText = label->text();
      }
      box->buttons().front()->click();
    }
  });
  EXPECT_EQ(platform::messageBox({"Titre", text, MsgButtons::Ok, platform::MsgIcon::Error}), MsgAnswer::Ok);
  EXPECT_EQ(shownFormat, Qt::PlainText);
  EXPECT_EQ(shownText, text);
}

// The real box: Esc presses "Non", as in the class library's questions; the title bar's close
// box presses nothing, and the question is Closed.
TEST(MessageBox, EscIsNoAndTheCloseBoxIsClosed) {
  const struct {
    const char* name;
    std::function<void(QWidget*)> act;
    MsgAnswer answer;
  } ways[] = {
      {"Esc",
       [](QWidget* box) {
         QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(box, &esc);
       },
       MsgAnswer::No},
      {"close box", [](QWidget* box) { box->close(); }, MsgAnswer::Closed},
  };
  for (const MsgButtons buttons : {MsgButtons::YesNo, MsgButtons::YesNoNoAllYesAll}) {
    for (const auto& way : ways) {
      SCOPED_TRACE(way.name);
      QWidget* shown = nullptr;
      QTimer::singleShot(0, [&] {
        shown = QApplication::activeModalWidget();
        if (!shown) return;
        way.act(shown);
        // A box that stayed open is answered with its first button, so the test fails instead of hanging.
        if (shown->isVisible()) qobject_cast<QMessageBox*>(shown)->buttons().first()->click();
      });
      EXPECT_EQ(platform::messageBox({"Titre", "Quitter ?", buttons}), way.answer);
      EXPECT_NE(shown, nullptr);
    }
  }
}

}  // namespace
