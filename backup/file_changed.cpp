#include "backup/file_changed.h"

namespace backup {

bool ChangedSince(int fd, const struct stat& before) {
  struct stat now {};
  if (::fstat(fd, &now) != 0) return true;
  return now.st_size != before.st_size || now.st_mtim.tv_sec != before.st_mtim.tv_sec ||
         now.st_mtim.tv_nsec != before.st_mtim.tv_nsec;
}

}  // namespace backup
