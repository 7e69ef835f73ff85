#include "zip/archiver/za_extract_target.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "platform/core/posix_file.h"

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

TZAFolderGuard::TZAFolderGuard(const std::string& baseFolder, const std::string& base, bool removable)
    : baseFolder_(baseFolder),
      base_(base.size() > 1 && base.back() == '/' ? base.substr(0, base.size() - 1) : base),
      removable_(removable),
      umask_(ZAUmask()) {}

TZAFolderGuard::TResult TZAFolderGuard::Check(const std::string& folder, bool create) {
  const std::string wanted = folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
  if (known_.count(wanted)) return frOk;
  if (!known_.count(base_)) {
    // The base is the caller's own choice: it may be a link, and it is made
    // when missing.
    std::error_code ec;
    if (!fs::is_directory(base_, ec)) {
      if (!create) return frOk;  // nothing there to lead anywhere; the file's creation fails
      fs::create_directories(base_, ec);
      if (!fs::is_directory(base_, ec)) return frCannotCreate;
    }
    known_.insert(base_);
  }
  if (wanted == base_) return frOk;
  const std::string prefix = base_ == "/" ? base_ : base_ + "/";
  if (wanted.compare(0, prefix.size(), prefix) != 0) return frOutside;
  std::string part = base_ == "/" ? "" : base_;
  for (size_t at = prefix.size(); at <= wanted.size();) {
    size_t end = wanted.find('/', at);
    if (end == std::string::npos) end = wanted.size();
    if (end > at) {
      part.push_back('/');
      part.append(wanted, at, end - at);
      if (!known_.count(part)) {
        struct stat st {};
        if (::lstat(part.c_str(), &st) != 0) {
          if (!create) return frOk;
          if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return frCannotCreate;
          if (::lstat(part.c_str(), &st) != 0) return frCannotCreate;
        }
        if (S_ISLNK(st.st_mode)) {
          std::error_code ec;
          if (!ZAStaysInside(base_, part)) return frOutside;
          if (!fs::is_directory(part, ec)) return frCannotCreate;
        } else if (!S_ISDIR(st.st_mode)) {
          return frCannotCreate;
        }
        known_.insert(part);
      }
    }
    at = end + 1;
  }
  return frOk;
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

uint32_t ZAUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

uint32_t ZAModeForAttributes(uint32_t attributes, const TZAExistingFile& replaced, uint32_t umask) {
  const uint32_t unixMode = attributes >> 16;
  uint32_t mode;
  if ((unixMode & S_IFMT) == S_IFREG) {
    mode = unixMode & 0777;
  } else if (replaced.exists && !replaced.isLink && !replaced.isDirectory) {
    mode = replaced.mode & 0777;
  } else {
    // A link's own bits (0777) are not a file's: the usual ones apply.
    mode = ZADefaultFileMode(umask);
  }
  if (attributes & 0x01) mode &= ~0222u;
  else mode |= 0200u;
  return mode;
}

platform::FileDescriptor ZAOpenTempFile(const std::string& folder, std::string& name) {
  std::error_code ec;
  const std::string dir = folder.empty() ? fs::temp_directory_path(ec).string() : folder;
  name = (fs::path(dir) / "ZTXXXXXX").string();
  return platform::createTempFile(name);
}

std::optional<std::string> ZAMakeTempFile(const std::string& folder) {
  std::string name;
  if (!ZAOpenTempFile(folder, name).valid()) return std::nullopt;
  return name;
}

}  // namespace zip
