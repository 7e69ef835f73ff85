#pragma once
#include <string>

namespace testsupport {

// Runs a shell command to its end, returning its exit status and what it printed on stdout.
struct CommandResult {
  int status = -1;
  std::string out;
};
CommandResult runCommand(const std::string& command);
std::string shellQuote(const std::string& s);

}  // namespace testsupport
