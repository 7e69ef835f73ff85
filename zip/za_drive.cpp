#include "zip/za_drive.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace zip {

namespace {

constexpr unsigned kFloppyMajor = 2;

bool deviceOf(const std::string& path, dev_t& dev) {
  std::filesystem::path p = path.empty() ? "." : path;
  for (;;) {
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0) {
      dev = st.st_dev;
      return true;
    }
    std::filesystem::path parent = p.parent_path();
    if (parent.empty()) parent = ".";
    if (parent == p) return false;
    p = parent;
  }
}

bool readsOne(const std::string& file) {
  std::ifstream in(file);
  int v = 0;
  return static_cast<bool>(in >> v) && v == 1;
}

}  // namespace

bool IsFloppyDrive(const std::string& path) {
  dev_t dev{};
  return deviceOf(path, dev) && major(dev) == kFloppyMajor;
}

bool IsRemovableDrive(const std::string& path) {
  dev_t dev{};
  if (!deviceOf(path, dev)) return false;
  if (major(dev) == kFloppyMajor) return true;
  // A partition's flag stands on its parent disk.
  const std::string sys = "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  return readsOne(sys + "/removable") || readsOne(sys + "/../removable");
}

}  // namespace zip
