#include "zip/names/za_collation.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "zip/names/za_collation_tables.h"
#include "zip/names/za_utf8.h"

namespace zip {

namespace {
// Keys at and above this value are characters outside the page.
constexpr uint32_t kOutsidePage = 256;
}  // namespace

TZACollation::TZACollation(bool turkish) : page_(turkish ? cpWindows1254 : cpWindows1252) {
  CollationRank = turkish ? collation::TurkishRanks() : collation::WesternRanks();
  for (int c = 0; c < 256; ++c) RankToChar[CollationRank[c]] = static_cast<uint8_t>(c);
  std::array<bool, 256> seen{};
  for (uint8_t r : CollationRank) seen[r] = true;
  UseRankTables = true;
  for (bool s : seen) UseRankTables = UseRankTables && s;
  for (int c = 0; c < 256; ++c) {
    const auto ch = static_cast<uint8_t>(c);
    const uint8_t up = turkish ? collation::TurkishUpper(ch) : collation::WesternUpper(ch);
    RankUpCase[CollationRank[c]] = CollationRank[up];
  }
}

bool TZACollation::TurkishFromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return v[0] == 't' && v[1] == 'r' && (v[2] == '\0' || v[2] == '_' || v[2] == '.');
  }
  return false;
}

const TZACollation& TZACollation::Current() {
  static const TZACollation current(TurkishFromEnvironment());
  return current;
}

uint32_t TZACollation::keyOf(uint32_t codePoint) const {
  const int b = codePoint >= kRawByteBase ? -1 : ZAPageByteOf(codePoint, page_);
  return b >= 0 ? CollationRank[b] : kOutsidePage + codePoint;
}

uint32_t TZACollation::upKey(uint32_t key) const { return key < kOutsidePage ? RankUpCase[key] : key; }

// Looks at min(maxLen, L + 1) positions, L the shorter length, so the end of
// the shorter text (rank 0) takes part.
template <class Seq>
int TZACollation::compare(const Seq& a, const Seq& b, int maxLen, bool ignoreCase) const {
  if (maxLen <= 0) return 0;
  const size_t shorter = std::min(a.size(), b.size());
  const size_t n = std::min(static_cast<size_t>(maxLen), shorter + 1);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t ka = i < a.size() ? a[i] : 0;
    const uint32_t kb = i < b.size() ? b[i] : 0;
    if (ka == kb) continue;
    if (!ignoreCase) return ka < kb ? -1 : 1;
    const uint32_t ua = upKey(ka), ub = upKey(kb);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  return 0;
}

std::vector<uint32_t> TZACollation::keysOf(std::string_view text) const {
  std::vector<uint32_t> keys = ZADecodeUtf8(text);
  for (uint32_t& k : keys) k = keyOf(k);
  return keys;
}

int TZACollation::StrLComp(std::string_view s1, std::string_view s2, int maxLen) const {
  return compare(keysOf(s1), keysOf(s2), maxLen, false);
}

int TZACollation::StrLIComp(std::string_view s1, std::string_view s2, int maxLen) const {
  return compare(keysOf(s1), keysOf(s2), maxLen, true);
}

bool TZACollation::SameChar(uint32_t a, uint32_t b, bool ignoreCase) const {
  const uint32_t ka = keyOf(a), kb = keyOf(b);
  return ka == kb || (ignoreCase && upKey(ka) == upKey(kb));
}

void TZACollation::TranslateStrByTableA(std::string& s) const {
  for (char& c : s) c = static_cast<char>(CollationRank[static_cast<uint8_t>(c)]);
}

void TZACollation::TranslateStrByTableB(std::string& s) const {
  for (char& c : s) c = static_cast<char>(RankToChar[static_cast<uint8_t>(c)]);
}

namespace {
std::vector<uint32_t> bytesOf(std::string_view s) {
  std::vector<uint32_t> out;
  out.reserve(s.size());
  for (char c : s) out.push_back(static_cast<uint8_t>(c));
  return out;
}
}  // namespace

int TZACollation::CompareCharsCaseSensitive(std::string_view s1, std::string_view s2, int maxLen) const {
  return compare(bytesOf(s1), bytesOf(s2), maxLen, false);
}

int TZACollation::CompareCharsIgnoreCase(std::string_view s1, std::string_view s2, int maxLen) const {
  return compare(bytesOf(s1), bytesOf(s2), maxLen, true);
}

}  // namespace zip
