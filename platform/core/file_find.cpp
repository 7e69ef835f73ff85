#include "platform/core/file_find.h"

#include <algorithm>
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

std::vector<FindEntry> listFolder(const std::string& folder) {
  std::vector<FindEntry> entries;
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return entries;
  const int fd = ::dirfd(dir.get());
  while (const dirent* e = ::readdir(dir.get())) {
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
