#pragma once
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace testsupport {

// A test server script from tests/servers run with the Debian interpreter.
// The script binds 127.0.0.1 on port 0 and prints "PORT <n>" as its first line.
class ServerProcess {
 public:
  ServerProcess(const std::string& script, const std::vector<std::string>& args = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }
  bool running() const { return process_ && process_->running(); }
  // Lines the server printed after its port line (read until it exits or the time-out).
  std::string readLine(int timeoutMs = 5000);
  void stop();

 private:
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
};

std::string serversDir();
std::string fixturesDir();
std::string pythonPath();

}  // namespace testsupport
