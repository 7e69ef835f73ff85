#pragma once
// One folder's listing, read whole and closed before the caller sees it, so that a walk
// holds no descriptor while it descends or runs its handlers.
#include <string>
#include <vector>

#include <sys/stat.h>

namespace platform {

// What an entry is for a walk; symbolic links are classified by what they point to.
enum class FindKind {
  File,        // regular file, or a symbolic link to one
  Folder,      // a real folder (never a symbolic link)
  LinkFolder,  // a symbolic link to a folder
  Other,       // FIFO, socket, device, broken link, entry that vanished
};

struct FindEntry {
  std::string name;  // as the file system spells it, without folder
  FindKind kind = FindKind::Other;
  struct stat info {};  // what it names: a link's target when it leads to a file or folder, else the entry itself
};

// The entries of one folder, "." and ".." left out, sorted by the bytes of their names so
// that every machine sees the same order. A folder that cannot be read gives what could be
// read of it, usually nothing, and *error (when given) the errno of the failure, else 0.
std::vector<FindEntry> listFolder(const std::string& folder, int* error = nullptr);

}  // namespace platform
