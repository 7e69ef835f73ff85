#pragma once
// Every modal message and question of the programs goes through messageBox(), so that a test
// can answer instead of a user and no test ever blocks on a real dialog.
#include <QString>
#include <functional>
#include <utility>
#include <vector>

class QWidget;

namespace platform {

// Buttons in the class library's order where several are shown.
enum class MsgButtons { Ok, YesNo, OkCancel, AbortRetryIgnore, YesNoNoAllYesAll };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgAnswer { Ok, Yes, No, Closed, Cancel, Abort, Retry, Ignore, NoToAll, YesToAll };

struct MessageRequest {
  MessageRequest(QString caption = {}, QString text = {}, MsgButtons buttons = MsgButtons::Ok,
                 MsgIcon icon = MsgIcon::None, bool input = false, QString value = {})
      : caption(std::move(caption)), text(std::move(text)), buttons(buttons), icon(icon), input(input),
        value(std::move(value)) {}
  QString caption;  // the application title when left empty
  QString text;
  MsgButtons buttons = MsgButtons::Ok;
  MsgIcon icon = MsgIcon::None;
  // An input box: the text shown for editing, and the text confirmed with OK.
  bool input = false;
  QString value;
};

MsgAnswer messageBox(const MessageRequest& request, QWidget* parent = nullptr);
// The class library's plain message: the application title as caption, one "OK".
void showMessage(const QString& text, QWidget* parent = nullptr);
// The class library's input box (OK and Annuler): true and value set when confirmed.
bool inputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent = nullptr);

// A responder may change request.value to answer an input box.
using MessageResponder = std::function<MsgAnswer(MessageRequest&)>;
void setMessageResponder(MessageResponder responder);

// A test's responder: gives the queued answers in order (then Ok/Closed) and records every question.
class ScopedResponder {
 public:
  explicit ScopedResponder(std::vector<MsgAnswer> answers = {});
  // Texts typed into the input boxes, in order; an input box beyond them is cancelled.
  void setInputs(std::vector<QString> inputs) { inputs_ = std::move(inputs); }
  ~ScopedResponder();
  ScopedResponder(const ScopedResponder&) = delete;
  ScopedResponder& operator=(const ScopedResponder&) = delete;
  const std::vector<MessageRequest>& asked() const { return asked_; }

 private:
  std::vector<MsgAnswer> answers_;
  std::size_t next_ = 0;
  std::vector<QString> inputs_;
  std::size_t nextInput_ = 0;
  std::vector<MessageRequest> asked_;
};

}  // namespace platform
