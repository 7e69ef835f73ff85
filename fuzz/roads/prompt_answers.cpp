#include "fuzz/roads/prompt_answers.h"

#include <cstdio>
#include <cstdlib>

#include "platform/core/prompter.h"

namespace fuzzroads {

using platform::MsgAnswer;
using platform::MsgButtons;

ScopedAnswers::ScopedAnswers(std::size_t budget) : budget_(budget) {
  platform::setMessageResponder([this](platform::MessageRequest& r) {
    const bool spent = ++asked_ > budget_;
    static const bool verbose = std::getenv("PALVREN_FUZZ_VERBOSE") != nullptr;
    if (verbose) std::fprintf(stderr, "asked: %s\n", r.text.toStdString().c_str());
    if (r.input) {
      if (spent || passwords_++ > 0) return MsgAnswer::Cancel;
      r.value = QString::fromLatin1(kSeedPassword);
      return MsgAnswer::Ok;
    }
    switch (r.buttons) {
      case MsgButtons::Ok: return MsgAnswer::Ok;
      case MsgButtons::OkCancel: return spent ? MsgAnswer::Cancel : MsgAnswer::Ok;
      case MsgButtons::YesNo: return spent ? MsgAnswer::No : MsgAnswer::Yes;
      case MsgButtons::YesNoNoAllYesAll: return spent ? MsgAnswer::NoToAll : MsgAnswer::Yes;
      case MsgButtons::AbortRetryIgnore: ++failures_; return spent ? MsgAnswer::Abort : MsgAnswer::Ignore;
    }
    return MsgAnswer::Cancel;
  });
}

ScopedAnswers::~ScopedAnswers() { platform::setMessageResponder(nullptr); }

}  // namespace fuzzroads
