#pragma once
// Whether an open file changed since a status of it was taken: a read between the two may
// mix old and new bytes.
#include <sys/stat.h>

namespace backup {

// True when the file's size or modification time now differs from before (or cannot be read).
bool ChangedSince(int fd, const struct stat& before);

}  // namespace backup
