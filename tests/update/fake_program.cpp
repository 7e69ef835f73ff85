#include "fake_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

namespace updatertest {

void installSleepCopy(const std::filesystem::path& path) {
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::copy_file("/bin/sleep", path, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

FakeProgram::FakeProgram(const std::filesystem::path& path) {
  // Wait until the exec has replaced the child, so that /proc shows the program's name.
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    close(ready[0]);
    execl(path.c_str(), path.filename().c_str(), "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  char c;
  while (read(ready[0], &c, 1) < 0 && errno == EINTR) {
  }
  close(ready[0]);
}

FakeProgram::~FakeProgram() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool FakeProgram::endedByKill() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool FakeProgram::running() {
  if (reaped_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    reaped_ = true;
    return false;
  }
  return true;
}

std::vector<platform::ProcessEntry> processesAmong(const std::vector<pid_t>& pids) {
  std::vector<platform::ProcessEntry> out;
  for (const platform::ProcessEntry& p : platform::processList()) {
    if (std::find(pids.begin(), pids.end(), p.pid) != pids.end()) out.push_back(p);
  }
  return out;
}

}  // namespace updatertest
