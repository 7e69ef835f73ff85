#include "platform/message_box.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

using platform::MsgAnswer;
using platform::MsgButtons;

TEST(MessageBox, TheResponderAnswersInOrderAndRecordsEveryQuestion) {
  platform::ScopedResponder responder({MsgAnswer::No, MsgAnswer::Yes});
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

}  // namespace
