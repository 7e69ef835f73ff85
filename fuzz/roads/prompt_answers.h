#pragma once
// Answers every question the component asks through the platform's prompter while an input
// runs, at once and never blocking: a password once (the seeds' "fuzz"), OK to a disk request,
// Ignore to a failure, Yes to an overwrite. After a budget of questions every further one is
// cancelled, so a road that keeps asking ends instead of hanging the fuzzer.
#include <cstddef>

namespace fuzzroads {

inline constexpr const char* kSeedPassword = "fuzz";

class ScopedAnswers {
 public:
  explicit ScopedAnswers(std::size_t budget = 32);
  ~ScopedAnswers();
  ScopedAnswers(const ScopedAnswers&) = delete;
  ScopedAnswers& operator=(const ScopedAnswers&) = delete;
  std::size_t asked() const { return asked_; }
  // Abort/Retry/Ignore questions: the failures the component reported.
  std::size_t failures() const { return failures_; }

 private:
  std::size_t budget_;
  std::size_t asked_ = 0;
  std::size_t passwords_ = 0;
  std::size_t failures_ = 0;
};

}  // namespace fuzzroads
