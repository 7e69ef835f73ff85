#include "platform/core/file_find.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>

namespace platform {

namespace {

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

// own: the entry's lstat, replaced by its target's status for a link that leads to a file
// or folder.
FindKind classify(int dirFd, const char* name, struct stat& own) {
  if (S_ISREG(own.st_mode)) return FindKind::File;
  if (S_ISDIR(own.st_mode)) return FindKind::Folder;
  if (!S_ISLNK(own.st_mode)) return FindKind::Other;
  struct stat target {};
  if (::fstatat(dirFd, name, &target, 0) != 0) return FindKind::Other;
  if (!S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode)) return FindKind::Other;
  own = target;
  return S_ISREG(target.st_mode) ? FindKind::File : FindKind::LinkFolder;
}

}  // namespace

std::vector<FindEntry> listFolder(const std::string& folder, int* error) {
  std::vector<FindEntry> entries;
  if (error) *error = 0;
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) {
    if (error) *error = errno;
    return entries;
  }
  const int fd = ::dirfd(dir.get());
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir.get());
    if (e == nullptr) {
      // The end of the listing leaves errno alone; a failure sets it.
      if (error) *error = errno;
      break;
    }
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    FindEntry entry;
    entry.name = name;
    if (::fstatat(fd, e->d_name, &entry.info, AT_SYMLINK_NOFOLLOW) == 0) {
      entry.kind = classify(fd, e->d_name, entry.info);
    }
    entries.push_back(std::move(entry));
  }
  dir.reset();
  std::sort(entries.begin(), entries.end(), [](const FindEntry& a, const FindEntry& b) { return a.name < b.name; });
  return entries;
}

}  // namespace platform
