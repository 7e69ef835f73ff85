#include "backup/stored_name.h"

#include <string_view>

std::string StoredArchiveName(const std::string& fullPath) {
  std::string result;
  result.reserve(fullPath.size());
  std::string_view rest(fullPath);
  while (!rest.empty()) {
    const auto slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == "." || part == "..") continue;
    if (!result.empty()) result += '/';
    result += part;
  }
  return result;
}
