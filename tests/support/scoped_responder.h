#pragma once
#include <QString>
#include <cstddef>
#include <utility>
#include <vector>

#include "platform/core/prompter.h"

namespace testsupport {

// Answers every message box and prompt while it lives: gives the queued answers in order (then
// Ok/Closed) and records every question.
class ScopedResponder {
 public:
  explicit ScopedResponder(std::vector<platform::MsgAnswer> answers = {});
  // Texts typed into the input boxes, in order; an input box beyond them is cancelled.
  void setInputs(std::vector<QString> inputs) { inputs_ = std::move(inputs); }
  ~ScopedResponder();
  ScopedResponder(const ScopedResponder&) = delete;
  ScopedResponder& operator=(const ScopedResponder&) = delete;
  const std::vector<platform::MessageRequest>& asked() const { return asked_; }

 private:
  std::vector<platform::MsgAnswer> answers_;
  std::size_t next_ = 0;
  std::vector<QString> inputs_;
  std::size_t nextInput_ = 0;
  std::vector<platform::MessageRequest> asked_;
};

}  // namespace testsupport
