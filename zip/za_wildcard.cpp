#include "zip/za_wildcard.h"

#include <cstdint>
#include <vector>

#include "zip/za_collation.h"
#include "zip/za_utf8.h"

namespace zip {

namespace {

using Chars = std::vector<uint32_t>;

bool sameChar(uint32_t a, uint32_t b, bool ignoreCase) {
  if (a == b) return true;
  std::string sa, sb;
  ZAAppendUtf8(sa, a);
  ZAAppendUtf8(sb, b);
  return (ignoreCase ? ZAStrLIComp(sa, sb, 1) : ZAStrLComp(sa, sb, 1)) == 0;
}

bool isWholeStarDotStar(const Chars& m, size_t j) {
  return m.size() - j == 3 && m[j] == '*' && m[j + 1] == '.' && m[j + 2] == '*';
}

bool match(const Chars& n, size_t i, const Chars& m, size_t j, bool ignoreCase) {
  if (isWholeStarDotStar(m, j)) return true;
  for (;;) {
    if (m.size() - j == 1 && m[j] == '*') return true;
    if (i == n.size()) return j == m.size();
    if (j == m.size()) return false;
    if (m[j] == '*') {
      for (size_t k = i; k < n.size(); ++k) {
        if (match(n, k, m, j + 1, ignoreCase)) return true;
      }
      return false;
    }
    if (m[j] != '?' && !sameChar(n[i], m[j], ignoreCase)) return false;
    ++i;
    ++j;
  }
}

}  // namespace

bool MatchWildcardRec(std::string_view name, std::string_view mask, bool ignoreCase) {
  return match(ZADecodeUtf8(name), 0, ZADecodeUtf8(mask), 0, ignoreCase);
}

}  // namespace zip
