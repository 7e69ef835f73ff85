#pragma once
// A program run by a test, its standard output read line by line.
#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
 public:
  // Runs argv[0] with argv, with the variables of env ("NAME=value") set over the test's own;
  // what it prints on stdout is read through readLine().
  explicit ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
  ~ChildProcess();  // stops it (SIGTERM, then SIGKILL) when it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0; }
  // The next line it printed; empty at its end or after the time-out.
  std::string readLine(int timeoutMs = 5000);
  void signal(int sig);
  // Waits up to timeoutMs for its end; its wait status, or -1 when it still runs.
  int wait(int timeoutMs);
  void stop();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};

}  // namespace testsupport
