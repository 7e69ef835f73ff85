#include "support/server_process.h"

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

static std::string envOr(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

std::string serversDir() { return envOr("PALVREN_TEST_SERVERS", "tests/servers"); }
std::string fixturesDir() { return envOr("PALVREN_TEST_FIXTURES", "tests/fixtures"); }
std::string pythonPath() { return envOr("PALVREN_PYTHON", "/usr/bin/python3"); }

ServerProcess::ServerProcess(const std::string& script, const std::vector<std::string>& args) {
  std::string path = script.find('/') == std::string::npos ? serversDir() + "/" + script : script;
  std::vector<std::string> argv{pythonPath(), "-u", path};
  argv.insert(argv.end(), args.begin(), args.end());
  process_ = std::make_unique<ChildProcess>(argv);
  std::string first = readLine(20000);
  if (first.rfind("PORT ", 0) != 0) {
    stop();
    throw std::runtime_error("test server " + script + " did not start: '" + first + "'");
  }
  port_ = std::atoi(first.c_str() + 5);
}

ServerProcess::~ServerProcess() { stop(); }

std::string ServerProcess::readLine(int timeoutMs) { return process_ ? process_->readLine(timeoutMs) : std::string(); }

void ServerProcess::stop() {
  if (process_) process_->stop();
}

}  // namespace testsupport
