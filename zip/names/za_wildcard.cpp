#include "zip/names/za_wildcard.h"

#include <cstdint>
#include <vector>

#include "zip/names/za_collation.h"
#include "zip/names/za_utf8.h"

namespace zip {

namespace {

using Chars = std::vector<uint32_t>;

// The recursive match, with the positions already known to fail remembered,
// so that a mask of many "*" over a long stored name stays quick.
class Matcher {
 public:
  Matcher(std::string_view name, std::string_view mask, bool ignoreCase)
      : n_(ZADecodeUtf8(name)),
        m_(ZADecodeUtf8(mask)),
        ignoreCase_(ignoreCase),
        collation_(TZACollation::Current()),
        failed_((n_.size() + 1) * (m_.size() + 1), false) {}

  bool match(size_t i, size_t j) {
    if (failed_[i * (m_.size() + 1) + j]) return false;
    const bool ok = matchFrom(i, j);
    if (!ok) failed_[i * (m_.size() + 1) + j] = true;
    return ok;
  }

 private:
  bool wholeStarDotStar(size_t j) const {
    return m_.size() - j == 3 && m_[j] == '*' && m_[j + 1] == '.' && m_[j + 2] == '*';
  }

  bool matchFrom(size_t i, size_t j) {
    if (wholeStarDotStar(j)) return true;
    for (;;) {
      if (m_.size() - j == 1 && m_[j] == '*') return true;
      if (i == n_.size()) return j == m_.size();
      if (j == m_.size()) return false;
      if (m_[j] == '*') {
        for (size_t k = i; k < n_.size(); ++k) {
          if (match(k, j + 1)) return true;
        }
        return false;
      }
      if (m_[j] != '?' && !collation_.SameChar(n_[i], m_[j], ignoreCase_)) return false;
      ++i;
      ++j;
    }
  }

  Chars n_, m_;
  bool ignoreCase_;
  const TZACollation& collation_;
  std::vector<bool> failed_;
};

}  // namespace

bool MatchWildcardRec(std::string_view name, std::string_view mask, bool ignoreCase) {
  return Matcher(name, mask, ignoreCase).match(0, 0);
}

}  // namespace zip
