#pragma once
// Every modal message and question of the programs goes through messageBox(), which lets the
// responder (platform/core/prompter.h) answer first, so no test ever blocks on a real dialog.
#include <QString>

#include "platform/core/prompter.h"

class QWidget;

namespace platform {

MsgAnswer messageBox(const MessageRequest& request, QWidget* parent = nullptr);
// The class library's plain message: the application title as caption, one "OK".
void showMessage(const QString& text, QWidget* parent = nullptr);
// The class library's input box (OK and Annuler): true and value set when confirmed.
bool inputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent = nullptr);

}  // namespace platform
