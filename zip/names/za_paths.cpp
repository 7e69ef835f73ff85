#include "zip/names/za_paths.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace zip {

namespace {

namespace fs = std::filesystem;

std::string currentFolder() {
  std::error_code ec;
  const fs::path p = fs::current_path(ec);
  return ec ? std::string("/") : p.string();
}

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i <= path.size()) {
    const size_t slash = path.find('/', i);
    const size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > i) out.push_back(path.substr(i, end - i));
    i = end + 1;
  }
  return out;
}

std::string join(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

// Collapses ".", ".." and repeated separators of an absolute path; ".." at the
// root stays at the root. A trailing separator is kept.
std::string lexicalFull(const std::string& absolute) {
  std::vector<std::string> kept;
  for (const std::string& c : components(absolute)) {
    if (c == ".") continue;
    if (c == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(c);
  }
  std::string out = join(kept);
  if (out.size() > 1 && absolute.back() == '/') out += '/';
  return out;
}

// A folder as the current-folder query gives it: no trailing separator but the root's.
std::string folderForm(const std::string& path) { return path.size() > 1 ? ZAExcludeTrailingBackslash(path) : path; }

std::string absoluteFolder(const std::string& dir) {
  return dir.empty() || dir[0] != '/' ? ZAIncludeTrailingBackslash(currentFolder()) + dir : dir;
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::string ZAIncludeTrailingBackslash(const std::string& path) {
  return !path.empty() && path.back() == '/' ? path : path + "/";
}

std::string ZAExcludeTrailingBackslash(const std::string& path) {
  return !path.empty() && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

bool ZADirectoryExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(path, ec);
}

bool ZAForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  fs::create_directories(ZAExcludeTrailingBackslash(path), ec);
  return ZADirectoryExists(path);
}

std::string AppendBackslashIfNotEmpty(const std::string& folder) {
  return ZAIncludeTrailingBackslash(folder.empty() ? currentFolder() : folder);
}

std::string ExpandPathFromBase(const std::string& base, const std::string& path) {
  const std::string dir = AppendBackslashIfNotEmpty(base);
  if (!path.empty()) return lexicalFull(path[0] == '/' ? path : absoluteFolder(dir) + path);
  if (!base.empty() && base[0] == '/') return base;
  if (base.empty() || ZADirectoryExists(dir)) return folderForm(lexicalFull(absoluteFolder(dir)));
  return base;
}

std::optional<std::string> ExpandArchivePathFromBase(const std::string& base, const std::string& storedName) {
  std::string name = storedName;
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  size_t start = 0;
  if (name.size() >= 2 && isLetter(name[0]) && name[1] == ':') {
    start = 2;
  } else if (name.size() >= 3 && name[0] == '/' && name[1] == '/' && name[2] != '/') {
    // "//server/share/": both parts go.
    const size_t server = name.find('/', 2);
    const size_t share = server == std::string::npos ? std::string::npos : name.find('/', server + 1);
    start = share == std::string::npos ? name.size() : share;
  }
  std::vector<std::string> kept;
  for (const std::string& c : components(name.substr(start))) {
    if (c == ".") continue;
    if (c == "..") {
      if (kept.empty()) return std::nullopt;
      kept.pop_back();
      continue;
    }
    kept.push_back(c);
  }
  std::string root = ExpandPathFromBase(base, "");
  if (root.empty() || root[0] != '/') root = folderForm(lexicalFull(absoluteFolder(AppendBackslashIfNotEmpty(root))));
  if (kept.empty()) return root;
  std::string out = ZAExcludeTrailingBackslash(root);
  for (const std::string& c : kept) out += "/" + c;
  if (name.back() == '/') out += '/';
  return out;
}

std::string NormalizeStoredPath(const std::string& fileName, const std::string& baseDir, TZAStorePathMode storePath) {
  const std::string base = ExpandPathFromBase(baseDir, "");
  std::string full = fileName.empty() ? base : ExpandPathFromBase(base, fileName);
  // A final "." belongs to a Linux name: only the separator goes.
  if (!full.empty() && full.back() == '/') full.pop_back();

  switch (storePath) {
    case spNoPath: {
      const size_t slash = full.rfind('/');
      full = slash == std::string::npos ? full : full.substr(slash + 1);
      break;
    }
    case spRelativePath: {
      // Relative only when the file lies in the base or below it.
      const std::vector<std::string> baseParts =
          components(lexicalFull(absoluteFolder(ZAIncludeTrailingBackslash(base))));
      const std::vector<std::string> parts = components(full);
      bool inside = !parts.empty() && parts.size() > baseParts.size();
      for (size_t i = 0; inside && i < baseParts.size(); ++i) inside = parts[i] == baseParts[i];
      if (inside) {
        std::string rel;
        for (size_t i = baseParts.size(); i < parts.size(); ++i) rel += (rel.empty() ? "" : "/") + parts[i];
        full = rel;
      }
      break;
    }
    case spFullPath:
    case spFullPathWithDrive: break;
  }
  if (storePath != spFullPathWithDrive && !full.empty() && full[0] == '/') full.erase(0, 1);
  return full;
}

}  // namespace zip
