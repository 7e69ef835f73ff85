#pragma once
// The questions a library below the windows asks (the ZIP component's overwrite, disk and
// password prompts) go through prompt(): the program installs the message box as the prompter,
// so these libraries need no widgets, and a test's responder answers instead of a user.
#include <QString>
#include <functional>
#include <utility>

namespace platform {

// Buttons in the class library's order where several are shown.
enum class MsgButtons { Ok, YesNo, OkCancel, AbortRetryIgnore, YesNoNoAllYesAll };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgAnswer { Ok, Yes, No, Closed, Cancel, Abort, Retry, Ignore, NoToAll, YesToAll };

struct MessageRequest {
  MessageRequest(QString caption = {}, QString text = {}, MsgButtons buttons = MsgButtons::Ok,
                 MsgIcon icon = MsgIcon::None, bool input = false, QString value = {})
      : caption(std::move(caption)),
        text(std::move(text)),
        buttons(buttons),
        icon(icon),
        input(input),
        value(std::move(value)) {}
  QString caption;  // the application title when left empty
  QString text;
  MsgButtons buttons = MsgButtons::Ok;
  MsgIcon icon = MsgIcon::None;
  // An input box: the text shown for editing, and the text confirmed with OK.
  bool input = false;
  QString value;
};

// A responder or prompter may change request.value to answer an input box.
using MessageResponder = std::function<MsgAnswer(MessageRequest&)>;

// Answers every question, message boxes included, while set: tests and fuzz roads never block.
void setMessageResponder(MessageResponder responder);
const MessageResponder& messageResponder();

// The program's way to ask a user; the programs install the message box.
void setPrompter(MessageResponder prompter);

// The responder when one is set, else the prompter; with neither, the answer of a box dismissed
// unanswered (Cancel for an input box, Closed otherwise), which every caller reads as "no".
MsgAnswer prompt(MessageRequest& request);

}  // namespace platform
