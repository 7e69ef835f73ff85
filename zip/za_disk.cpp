#include "zip/za_disk.h"

#include <sys/statvfs.h>

#include <filesystem>

namespace zip {

int64_t ZAFreeBytes(const std::string& path) {
  std::filesystem::path p = path.empty() ? "." : path;
  for (;;) {
    struct statvfs st {};
    if (::statvfs(p.c_str(), &st) == 0) return static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
    std::filesystem::path parent = p.parent_path();
    if (parent.empty()) parent = ".";
    if (parent == p) return -1;
    p = parent;
  }
}

}  // namespace zip
