#include "platform/core/file_mask.h"

#include <cstddef>

namespace platform {

namespace {

// Length of the UTF-8 sequence starting at s[i]; a stray or cut byte counts as one
// character so that any name, valid UTF-8 or not, can be matched.
std::size_t charLength(std::string_view s, std::size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  std::size_t len = 1;
  if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
  } else if (lead >= 0xE0) {
    len = lead <= 0xEF ? 3 : 1;
  } else if (lead >= 0xC2) {
    len = 2;
  }
  if (i + len > s.size()) return 1;
  for (std::size_t k = 1; k < len; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  }
  return len;
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameChar(std::string_view a, std::size_t ia, std::size_t lenA, std::string_view b, std::size_t ib,
              std::size_t lenB) {
  if (lenA != lenB) return false;
  for (std::size_t k = 0; k < lenA; ++k) {
    if (foldAscii(a[ia + k]) != foldAscii(b[ib + k])) return false;
  }
  return true;
}

}  // namespace

bool matchesFileMask(std::string_view name, std::string_view mask) {
  if (mask.empty()) return false;
  if (mask == "*.*") return true;

  // Greedy walk with one back-track point: the last "*" seen and where its run ended.
  std::size_t n = 0, m = 0;
  std::size_t starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = ++m;
      starName = n;
      continue;
    }
    const std::size_t nameLen = charLength(name, n);
    if (m < mask.size()) {
      const std::size_t maskLen = charLength(mask, m);
      if (mask[m] == '?' || sameChar(name, n, nameLen, mask, m, maskLen)) {
        n += nameLen;
        m += maskLen;
        continue;
      }
    }
    if (starMask == std::string_view::npos) return false;
    // Let the last "*" swallow one more character and try again from there.
    starName += charLength(name, starName);
    n = starName;
    m = starMask;
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace platform
