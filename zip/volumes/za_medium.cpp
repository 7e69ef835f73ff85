#include "zip/volumes/za_medium.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace zip {

namespace {

constexpr unsigned kFloppyMajor = 2;

// Runs query on the path, then on each parent in turn, until it succeeds;
// false when not even the root answers.
template <typename Query>
bool onNearestExisting(const std::string& path, Query query) {
  std::filesystem::path p = path.empty() ? "." : path;
  for (;;) {
    if (query(p)) return true;
    std::filesystem::path parent = p.parent_path();
    if (parent.empty()) parent = ".";
    if (parent == p) return false;
    p = parent;
  }
}

bool deviceOf(const std::string& path, dev_t& dev) {
  return onNearestExisting(path, [&](const std::filesystem::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return false;
    dev = st.st_dev;
    return true;
  });
}

bool readsOne(const std::string& file) {
  std::ifstream in(file);
  int v = 0;
  return static_cast<bool>(in >> v) && v == 1;
}

}  // namespace

int64_t ZAFreeBytes(const std::string& path) {
  int64_t free = -1;
  onNearestExisting(path, [&](const std::filesystem::path& p) {
    struct statvfs st {};
    if (::statvfs(p.c_str(), &st) != 0) return false;
    free = static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
    return true;
  });
  return free;
}

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
