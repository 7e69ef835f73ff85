#include "platform/ui/message_box.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

namespace platform {

namespace {
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

MsgAnswer messageBox(const MessageRequest& request, QWidget* parent) {
  MessageRequest r = request;
  if (r.caption.isEmpty()) r.caption = QApplication::applicationDisplayName();
  if (messageResponder()) return messageResponder()(r);

  QMessageBox box(qtIcon(r.icon), r.caption, QString(), QMessageBox::NoButton, parent);
  // Texts often carry what a server or a file said: shown as typed, never read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(r.text);
  std::vector<std::pair<QPushButton*, MsgAnswer>> buttons;
  auto add = [&](const char* text, QMessageBox::ButtonRole role, MsgAnswer answer) {
    buttons.emplace_back(box.addButton(QString::fromUtf8(text), role), answer);
  };
  switch (r.buttons) {
    case MsgButtons::YesNo:
      add("&Oui", QMessageBox::YesRole, MsgAnswer::Yes);
      add("&Non", QMessageBox::NoRole, MsgAnswer::No);
      break;
    case MsgButtons::OkCancel:
      add("OK", QMessageBox::AcceptRole, MsgAnswer::Ok);
      add("Annuler", QMessageBox::RejectRole, MsgAnswer::Cancel);
      break;
    case MsgButtons::AbortRetryIgnore:
      add("&Abandonner", QMessageBox::RejectRole, MsgAnswer::Abort);
      add("&Retenter", QMessageBox::AcceptRole, MsgAnswer::Retry);
      add("&Ignorer", QMessageBox::DestructiveRole, MsgAnswer::Ignore);
      break;
    case MsgButtons::YesNoNoAllYesAll:
      add("&Oui", QMessageBox::YesRole, MsgAnswer::Yes);
      add("&Non", QMessageBox::NoRole, MsgAnswer::No);
      add("Non &pour tout", QMessageBox::NoRole, MsgAnswer::NoToAll);
      add("O&ui pour tout", QMessageBox::YesRole, MsgAnswer::YesToAll);
      break;
    case MsgButtons::Ok: add("OK", QMessageBox::AcceptRole, MsgAnswer::Ok); break;
  }
  box.setDefaultButton(buttons.front().first);
  const bool question = r.buttons == MsgButtons::YesNo || r.buttons == MsgButtons::YesNoNoAllYesAll;
  // Esc presses "Non", as in the class library's questions. Qt would count the close box as that
  // press too; a question closed by its box is its own answer (Closed): only a button really
  // pressed, by click, key or Esc, answers it.
  if (question) box.setEscapeButton(buttons[1].first);
  const QAbstractButton* pressed = nullptr;
  QObject::connect(&box, &QMessageBox::buttonClicked, [&pressed](QAbstractButton* b) { pressed = b; });
  box.exec();
  const QAbstractButton* clicked = question ? pressed : box.clickedButton();
  for (const auto& [button, answer] : buttons) {
    if (clicked && clicked == button) return answer;
  }
  return MsgAnswer::Closed;
}

bool inputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent) {
  MessageRequest r{caption, prompt, MsgButtons::OkCancel, MsgIcon::None, true, value};
  if (messageResponder()) {
    const MsgAnswer answer = messageResponder()(r);
    if (answer != MsgAnswer::Ok) return false;
    value = r.value;
    return true;
  }
  bool ok = false;
  const QString typed = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
  if (ok) value = typed;
  return ok;
}

void showMessage(const QString& text, QWidget* parent) {
  messageBox({QString(), text, MsgButtons::Ok, MsgIcon::None}, parent);
}

}  // namespace platform
