#include "platform/core/prompter.h"

namespace platform {

namespace {
MessageResponder& responder() {
  static MessageResponder r;
  return r;
}

MessageResponder& prompter() {
  static MessageResponder p;
  return p;
}
}  // namespace

void setMessageResponder(MessageResponder r) { responder() = std::move(r); }

const MessageResponder& messageResponder() { return responder(); }

void setPrompter(MessageResponder p) { prompter() = std::move(p); }

MsgAnswer prompt(MessageRequest& request) {
  if (responder()) return responder()(request);
  if (prompter()) return prompter()(request);
  return request.input ? MsgAnswer::Cancel : MsgAnswer::Closed;
}

}  // namespace platform
