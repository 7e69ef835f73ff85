#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zip/names/za_collation.h"

using zip::TZACollation;

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

// Each text sorts strictly before the next one.
void expectAscending(const TZACollation& c, const std::vector<std::string>& texts) {
  for (size_t i = 0; i + 1 < texts.size(); ++i) {
    EXPECT_LT(c.StrLComp(texts[i], texts[i + 1], 100), 0) << texts[i] << " < " << texts[i + 1];
    EXPECT_GT(c.StrLComp(texts[i + 1], texts[i], 100), 0) << texts[i + 1] << " > " << texts[i];
  }
}

struct CaseRow {
  std::string a, b;
  int sensitive, insensitive;  // expected signs
};

void expectCases(const TZACollation& c, const std::vector<CaseRow>& rows) {
  for (const CaseRow& r : rows) {
    EXPECT_EQ(sign(c.StrLComp(r.a, r.b, 100)), r.sensitive) << r.a << " / " << r.b;
    EXPECT_EQ(sign(c.StrLIComp(r.a, r.b, 100)), r.insensitive) << r.a << " / " << r.b << " ignoring case";
  }
}

}  // namespace

TEST(ZACollation, TablesArePermutations) {
  for (bool turkish : {false, true}) {
    const TZACollation c(turkish);
    EXPECT_TRUE(c.UseRankTables);
    for (int ch = 0; ch < 256; ++ch) EXPECT_EQ(c.RankToChar[c.CollationRank[ch]], ch);
    EXPECT_EQ(c.CollationRank[0], 0);
    std::string s = "Ünïcodé ÇA";
    const std::string before = s;
    c.TranslateStrByTableA(s);
    EXPECT_NE(s, before);
    c.TranslateStrByTableB(s);
    EXPECT_EQ(s, before);
  }
}

TEST(ZACollation, FrenchLetters) {
  const TZACollation c(false);
  expectAscending(c, {"a", "A", "à", "â", "b", "c", "C", "ç", "Ç", "d", "e", "E", "é", "É", "è", "ê", "ë",
                      "f", "i", "î", "ï", "o", "ô", "œ", "p", "u", "ù", "û", "ü", "v", "y", "ÿ", "z"});
  expectAscending(c, {"0", "9", "a"});  // digits before letters
  expectAscending(c, {" ", "!", "0"});  // punctuation before digits
  expectCases(c, {
                     {"école", "ÉCOLE", -1, 0},  // lower case sorts first
                     {"Noël", "NOËL", -1, 0},
                     {"œuvre", "ŒUVRE", -1, 0},
                     {"ÿ", "Ÿ", -1, 0},
                     {"garçon", "GARÇON", -1, 0},
                     {"côte", "cote", 1, 1},
                     {"côte", "coter", 1, 1},  // letter by letter: ô after o
                     {"i", "I", -1, 0},
                     {"same", "same", 0, 0},
                 });
}

TEST(ZACollation, TurkishLetters) {
  const TZACollation c(true);
  expectAscending(c,
                  {"c", "ç", "d", "g", "ğ", "h", "ı", "I", "i", "İ", "j", "o", "ö", "p", "s", "ş", "t", "u", "ü", "v"});
  expectCases(c, {
                     {"i", "I", 1, 1},   // dotted i is not I
                     {"i", "İ", -1, 0},  // its capital carries the dot
                     {"ı", "I", -1, 0},  // dotless ı goes with I
                     {"ş", "Ş", -1, 0},
                     {"ğ", "Ğ", -1, 0},
                     {"İSTANBUL", "istanbul", 1, 0},
                     {"ISTANBUL", "istanbul", -1, -1},
                 });
}

TEST(ZACollation, LengthsAndOutsideThePage) {
  const TZACollation c(false);
  struct Row {
    std::string a, b;
    int maxLen, expected;
  };
  for (const Row& r : std::vector<Row>{
           {"abc", "abd", 2, 0},
           {"abc", "abd", 3, -1},
           {"ab", "abc", 3, -1},  // the end of the shorter text takes part
           {"ab", "abc", 2, 0},
           {"abc", "xyz", 0, 0},
           {"", "", 5, 0},
           {"", "a", 5, -1},
           {"é", "e", 1, 1},     // one character, two bytes
           {"éa", "éb", 1, 0},   // MaxLen counts characters
           {"ā", "ÿ", 1, 1},     // a character the page lacks sorts after the page
           {"ā", "ă", 1, -1},    // two of them by code point
           {"\xFF", "ÿ", 1, 1},  // a raw byte that is no UTF-8 sorts apart from ÿ
       }) {
    EXPECT_EQ(sign(c.StrLComp(r.a, r.b, r.maxLen)), r.expected) << r.a << " / " << r.b << " " << r.maxLen;
  }
  EXPECT_NE(c.StrLIComp("ā", "Ā", 1), 0);  // no case folding outside the page
}

TEST(ZACollation, RankSpaceRoutines) {
  const TZACollation c(false);
  std::string a = "\xE9t\xE9", b = "\xC9T\xC9";  // "été" and "ÉTÉ" in Windows-1252
  c.TranslateStrByTableA(a);
  c.TranslateStrByTableA(b);
  EXPECT_EQ(c.CompareCharsIgnoreCase(a, b, 3), 0);
  EXPECT_LT(c.CompareCharsCaseSensitive(a, b, 3), 0);
}
