#include "support/child_process.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include "platform/core/text_lines.h"

namespace testsupport {

ChildProcess::ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    for (const auto& e : env) {
      const std::string::size_type eq = e.find('=');
      if (eq != std::string::npos) setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
    }
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  out_ = fds[0];
}

ChildProcess::~ChildProcess() { stop(); }

std::string ChildProcess::readLine(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (std::optional<std::string> line = platform::takeReceivedLine(buffer_)) return *line;
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

void ChildProcess::signal(int sig) {
  if (pid_ > 0) kill(pid_, sig);
}

int ChildProcess::wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return status;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void ChildProcess::stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (wait(2000) == -1 && pid_ > 0) {
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
