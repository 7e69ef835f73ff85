#include "zip/za_extract_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace zip {

namespace fs = std::filesystem;

bool ZAStaysInside(const std::string& base, const std::string& path) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(fs::absolute(base, ec), ec);
  if (ec) return false;
  const fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) return false;
  auto r = root.begin(), f = full.begin();
  for (; r != root.end(); ++r, ++f) {
    if (r->empty()) continue;  // the empty last element of a folder that ends in "/"
    if (f == full.end() || *r != *f) return false;
  }
  return true;
}

TZAExistingFile ZAInspect(const std::string& path) {
  TZAExistingFile out;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return out;
  out.exists = true;
  out.isDirectory = S_ISDIR(st.st_mode);
  out.isLink = S_ISLNK(st.st_mode);
  out.mode = st.st_mode & 07777;
  out.readOnly = S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
  out.modified = st.st_mtime;
  return out;
}

uint32_t ZADefaultFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

uint32_t ZAModeForAttributes(uint32_t attributes, const TZAExistingFile& replaced) {
  const uint32_t unixMode = attributes >> 16;
  uint32_t mode;
  if ((unixMode & S_IFMT) == S_IFREG) {
    mode = unixMode & 0777;
  } else if (replaced.exists && !replaced.isLink && !replaced.isDirectory) {
    mode = replaced.mode & 0777;
  } else {
    // A link's own bits (0777) are not a file's: the usual ones apply.
    mode = ZADefaultFileMode();
  }
  if (attributes & 0x01)
    mode &= ~0222u;
  else
    mode |= 0200u;
  return mode;
}

std::optional<std::string> ZAMakeTempFile(const std::string& folder) {
  std::error_code ec;
  const std::string dir = folder.empty() ? fs::temp_directory_path(ec).string() : folder;
  std::string pattern = (fs::path(dir) / "ZTXXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  const int fd = ::mkstemp(buf.data());
  if (fd < 0) return std::nullopt;
  ::close(fd);
  return std::string(buf.data());
}

}  // namespace zip
