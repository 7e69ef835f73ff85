#pragma once
// One running copy per user: an exclusive lock on a file named after the program, held for the
// life of the object (the process, in the program entry).
#include <string>

#include "platform/core/posix_file.h"

namespace platform {

class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(const std::string& name);
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // False when another process holds the lock (or the lock file cannot be opened).
  bool acquired() const { return fd_.valid(); }
  const std::string& path() const { return path_; }

  // $XDG_RUNTIME_DIR/<name>.lock, else <tmp>/<name>-<uid>.lock.
  static std::string lockPath(const std::string& name);

 private:
  std::string path_;
  FileDescriptor fd_;
};

}  // namespace platform
