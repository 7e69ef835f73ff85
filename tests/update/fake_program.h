#pragma once
// A stand-in for the backup program: a copy of /bin/sleep under the name the updater looks for.
#include <sys/types.h>

#include <filesystem>
#include <vector>

#include "platform/core/process_list.h"

namespace updatertest {

// Copies /bin/sleep to path (executable).
void installSleepCopy(const std::filesystem::path& path);

class FakeProgram {
 public:
  // Starts path, which sleeps for a minute.
  explicit FakeProgram(const std::filesystem::path& path);
  ~FakeProgram();  // kills and reaps what is left
  FakeProgram(const FakeProgram&) = delete;
  FakeProgram& operator=(const FakeProgram&) = delete;

  pid_t pid() const { return pid_; }
  // Waits up to a few seconds for the process to end; true when a SIGKILL ended it.
  bool endedByKill();
  bool running();

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

// The running processes of the machine narrowed to these, in the system's order.
std::vector<platform::ProcessEntry> processesAmong(const std::vector<pid_t>& pids);

}  // namespace updatertest
