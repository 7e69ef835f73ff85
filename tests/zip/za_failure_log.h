#pragma once
// The failures an archiver reports through OnProcessFileFailure, kept for
// the test to look at.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zip/za_archiver.h"

namespace ziptest {

struct FailureLog {
  struct Failure {
    std::string fileName;
    zip::TZAProcessOperation operation;
    int32_t code;  // the event's native error: the component's error number
    std::string message;
  };
  std::vector<Failure> all;

  // Sets a's failure event: each failure joins the log and is answered with answer.
  void listen(zip::TZABaseArchiver& a, zip::TZAAction answer = zip::fxaIgnore);
  // The same, answered by what answer makes of the log with the new failure in it.
  void listen(zip::TZABaseArchiver& a, std::function<zip::TZAAction(const FailureLog&)> answer);
  bool empty() const { return all.empty(); }
  size_t size() const { return all.size(); }
  std::vector<int32_t> codes() const;
  std::vector<std::string> fileNames() const;
  // "name: message" of the first failure, for a failure message; empty when none.
  std::string first() const;
};

}  // namespace ziptest
