#pragma once
// Locale-ordered comparison of names. A fixed collation over Windows-1252
// (Windows-1254 for a Turkish user) stands for the workstation's locale, so
// that no result depends on the system's installed locales. Characters the
// page lacks sort after every page character, by code point.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zip/names/za_codepage.h"

namespace zip {

class TZACollation {
 public:
  explicit TZACollation(bool turkish);
  // The tables of this process, built once from LC_ALL, LC_COLLATE or LANG.
  static const TZACollation& Current();
  static bool TurkishFromEnvironment();

  // Texts are UTF-8; MaxLen counts characters.
  int StrLComp(std::string_view s1, std::string_view s2, int maxLen) const;
  int StrLIComp(std::string_view s1, std::string_view s2, int maxLen) const;
  // Two decoded characters, as the comparisons of one character each.
  bool SameChar(uint32_t a, uint32_t b, bool ignoreCase) const;

  // The 8-bit rank-space routines, on texts in the collation's page.
  void TranslateStrByTableA(std::string& s) const;
  void TranslateStrByTableB(std::string& s) const;
  int CompareCharsCaseSensitive(std::string_view s1, std::string_view s2, int maxLen) const;
  int CompareCharsIgnoreCase(std::string_view s1, std::string_view s2, int maxLen) const;

  std::array<uint8_t, 256> CollationRank{};
  std::array<uint8_t, 256> RankToChar{};
  std::array<uint8_t, 256> RankUpCase{};
  bool UseRankTables = false;

 private:
  uint32_t keyOf(uint32_t codePoint) const;
  std::vector<uint32_t> keysOf(std::string_view text) const;
  uint32_t upKey(uint32_t key) const;
  template <class Seq>
  int compare(const Seq& a, const Seq& b, int maxLen, bool ignoreCase) const;

  TZACodePage page_;
};

}  // namespace zip
