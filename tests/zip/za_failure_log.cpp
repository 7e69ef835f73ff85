#include "zip/za_failure_log.h"

namespace ziptest {

void FailureLog::listen(zip::TZABaseArchiver& a, zip::TZAAction answer) {
  listen(a, [answer](const FailureLog&) { return answer; });
}

void FailureLog::listen(zip::TZABaseArchiver& a, std::function<zip::TZAAction(const FailureLog&)> answer) {
  a.OnProcessFileFailure = [this, answer = std::move(answer)](zip::TZABaseArchiver*, const std::string& fileName,
                                                              zip::TZAProcessOperation operation, int32_t code,
                                                              int32_t, const std::string& message,
                                                              zip::TZAAction& action) {
    all.push_back({fileName, operation, code, message});
    action = answer(*this);
  };
}

std::vector<int32_t> FailureLog::codes() const {
  std::vector<int32_t> out;
  for (const Failure& f : all) out.push_back(f.code);
  return out;
}

std::vector<std::string> FailureLog::fileNames() const {
  std::vector<std::string> out;
  for (const Failure& f : all) out.push_back(f.fileName);
  return out;
}

std::string FailureLog::first() const {
  return all.empty() ? std::string() : all.front().fileName + ": " + all.front().message;
}

}  // namespace ziptest
