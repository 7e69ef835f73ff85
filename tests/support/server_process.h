#pragma once
#include <string>
#include <vector>
#include <sys/types.h>

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
  bool running() const { return pid_ > 0; }
  // Lines the server printed after its port line (read until it exits or the time-out).
  std::string readLine(int timeoutMs = 5000);
  void stop();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int port_ = 0;
  std::string buffer_;
};

std::string serversDir();
std::string fixturesDir();
std::string pythonPath();

}  // namespace testsupport
