#include "support/server_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

static std::string envOr(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

std::string serversDir() { return envOr("PALVREN_TEST_SERVERS", "tests/servers"); }
std::string fixturesDir() { return envOr("PALVREN_TEST_FIXTURES", "tests/fixtures"); }
std::string pythonPath() { return envOr("PALVREN_PYTHON", "/usr/bin/python3"); }

ServerProcess::ServerProcess(const std::string& script, const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  std::string path = script.find('/') == std::string::npos ? serversDir() + "/" + script : script;
  std::string py = pythonPath();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(py.c_str()));
    argv.push_back(const_cast<char*>("-u"));
    argv.push_back(const_cast<char*>(path.c_str()));
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(py.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  out_ = fds[0];
  std::string first = readLine(20000);
  if (first.rfind("PORT ", 0) != 0) {
    stop();
    throw std::runtime_error("test server " + script + " did not start: '" + first + "'");
  }
  port_ = std::atoi(first.c_str() + 5);
}

ServerProcess::~ServerProcess() { stop(); }

std::string ServerProcess::readLine(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (out_ < 0) return {};
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return {};
    pollfd p{out_, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return {};
    char buf[4096];
    ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) {
      close(out_);
      out_ = -1;
      std::string rest;
      rest.swap(buffer_);
      return rest;
    }
    buffer_.append(buf, static_cast<size_t>(n));
  }
}

void ServerProcess::stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      usleep(20000);
    }
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  if (out_ >= 0) {
    close(out_);
    out_ = -1;
  }
}

}  // namespace testsupport
