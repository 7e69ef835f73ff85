#pragma once
// Every modal message and question of the programs goes through messageBox(), so that a test
// can answer instead of a user and no test ever blocks on a real dialog.
#include <QString>
#include <functional>
#include <vector>

class QWidget;

namespace platform {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgAnswer { Ok, Yes, No, Closed };

struct MessageRequest {
  QString caption;  // the application title when left empty
  QString text;
  MsgButtons buttons = MsgButtons::Ok;
  MsgIcon icon = MsgIcon::None;
};

MsgAnswer messageBox(const MessageRequest& request, QWidget* parent = nullptr);
// The class library's plain message: the application title as caption, one "OK".
void showMessage(const QString& text, QWidget* parent = nullptr);

using MessageResponder = std::function<MsgAnswer(const MessageRequest&)>;
void setMessageResponder(MessageResponder responder);

// A test's responder: gives the queued answers in order (then Ok/Closed) and records every question.
class ScopedResponder {
 public:
  explicit ScopedResponder(std::vector<MsgAnswer> answers = {});
  ~ScopedResponder();
  ScopedResponder(const ScopedResponder&) = delete;
  ScopedResponder& operator=(const ScopedResponder&) = delete;
  const std::vector<MessageRequest>& asked() const { return asked_; }

 private:
  std::vector<MsgAnswer> answers_;
  std::size_t next_ = 0;
  std::vector<MessageRequest> asked_;
};

}  // namespace platform
