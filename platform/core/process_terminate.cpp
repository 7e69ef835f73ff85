#include "platform/core/process_terminate.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>

#include "platform/core/posix_file.h"
#include "platform/core/process_list.h"

namespace platform {

namespace {
int pidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }
int pidfdSendSignal(int fd, int sig) { return static_cast<int>(::syscall(SYS_pidfd_send_signal, fd, sig, nullptr, 0)); }
}  // namespace

bool terminateProcess(pid_t pid, const std::string& expectedExe) {
  if (pid <= 0) return false;
  const FileDescriptor fd(pidfdOpen(pid));
  if (!fd.valid()) return false;
  // Read after the open: the pidfd pins this very process, so the name cannot belong to another.
  bool ok = expectedExe.empty() || executableName(pid) == expectedExe;
  // A hard kill, as the program is about to be replaced: nothing of it may run on.
  if (ok) ok = pidfdSendSignal(fd.get(), SIGKILL) == 0;
  return ok;
}

}  // namespace platform
