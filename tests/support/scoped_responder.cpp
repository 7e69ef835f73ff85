#include "support/scoped_responder.h"

#include <utility>

namespace testsupport {

using platform::MessageRequest;
using platform::MsgAnswer;
using platform::MsgButtons;

ScopedResponder::ScopedResponder(std::vector<MsgAnswer> answers) : answers_(std::move(answers)) {
  platform::setMessageResponder([this](MessageRequest& r) {
    if (r.input) {
      asked_.push_back(r);
      if (nextInput_ >= inputs_.size()) return MsgAnswer::Cancel;
      r.value = inputs_[nextInput_++];
      return MsgAnswer::Ok;
    }
    asked_.push_back(r);
    if (next_ < answers_.size()) return answers_[next_++];
    return r.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Closed;
  });
}

ScopedResponder::~ScopedResponder() { platform::setMessageResponder(nullptr); }

}  // namespace testsupport
