#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace platform {

namespace {
MessageResponder& responder() {
  static MessageResponder r;
  return r;
}

QMessageBox::Icon qtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

void setMessageResponder(MessageResponder r) { responder() = std::move(r); }

MsgAnswer messageBox(const MessageRequest& request, QWidget* parent) {
  MessageRequest r = request;
  if (r.caption.isEmpty()) r.caption = QApplication::applicationDisplayName();
  if (responder()) return responder()(r);

  QMessageBox box(qtIcon(r.icon), r.caption, r.text, QMessageBox::NoButton, parent);
  QPushButton* yes = nullptr;
  QPushButton* no = nullptr;
  QPushButton* ok = nullptr;
  if (r.buttons == MsgButtons::YesNo) {
    yes = box.addButton(QStringLiteral("&Oui"), QMessageBox::YesRole);
    no = box.addButton(QStringLiteral("&Non"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
  } else {
    ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  }
  box.exec();
  const QAbstractButton* clicked = box.clickedButton();
  if (clicked && clicked == yes) return MsgAnswer::Yes;
  if (clicked && clicked == no) return MsgAnswer::No;
  if (clicked && clicked == ok) return MsgAnswer::Ok;
  return MsgAnswer::Closed;
}

void showMessage(const QString& text, QWidget* parent) { messageBox({QString(), text, MsgButtons::Ok, MsgIcon::None}, parent); }

ScopedResponder::ScopedResponder(std::vector<MsgAnswer> answers) : answers_(std::move(answers)) {
  setMessageResponder([this](const MessageRequest& r) {
    asked_.push_back(r);
    if (next_ < answers_.size()) return answers_[next_++];
    return r.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Closed;
  });
}

ScopedResponder::~ScopedResponder() { setMessageResponder(nullptr); }

}  // namespace platform
