#include "backup/stored_name.h"

#include <string_view>

namespace backup {

namespace {

// Length of the well-formed UTF-8 sequence at the start of s, 0 when there is none.
std::size_t utf8Length(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = b(0);
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < n || b(1) < lo || b(1) > hi) return 0;
  for (std::size_t i = 2; i < n; ++i)
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  return n;
}

}  // namespace

bool IsUtf8(std::string_view text) {
  while (!text.empty()) {
    const std::size_t n = utf8Length(text);
    if (n == 0) return false;
    text.remove_prefix(n);
  }
  return true;
}

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
    result.append(part);
  }
  return result;
}

}  // namespace backup
