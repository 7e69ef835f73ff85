#include "backup/file_size64.h"

#include <sys/stat.h>

namespace backup {

std::int64_t FileSize64(const std::string& fileName) {
  struct stat st {};
  if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0) return 0;
  if (S_ISDIR(st.st_mode)) return 0;
  return static_cast<std::int64_t>(st.st_size);
}

}  // namespace backup
