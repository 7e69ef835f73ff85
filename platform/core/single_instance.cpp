#include "platform/core/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

namespace platform {

std::string SingleInstanceLock::lockPath(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && std::filesystem::is_directory(runtime)) return std::string(runtime) + "/" + name + ".lock";
  return (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getuid()) + ".lock")).string();
}

SingleInstanceLock::SingleInstanceLock(const std::string& name) : path_(lockPath(name)) {
  // O_CLOEXEC: a program started from here (the updater) must not keep the lock alive.
  FileDescriptor fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) fd_ = std::move(fd);
}

}  // namespace platform
