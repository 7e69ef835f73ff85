#include "platform/core/file_mask.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct MaskCase {
  std::string name;
  std::string mask;
  bool matches;
};

void PrintTo(const MaskCase& c, std::ostream* os) { *os << "'" << c.name << "' / '" << c.mask << "'"; }

class FileMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(FileMaskTest, Matches) {
  const MaskCase& c = GetParam();
  EXPECT_EQ(platform::matchesFileMask(c.name, c.mask), c.matches) << "name '" << c.name << "' mask '" << c.mask << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Masks, FileMaskTest,
    ::testing::Values(
        // "*.*" is every name, dots or not, hidden ones included.
        MaskCase{"rapport.doc", "*.*", true}, MaskCase{"Makefile", "*.*", true}, MaskCase{".bashrc", "*.*", true},
        MaskCase{"a.b.c", "*.*", true},
        // "*" alone and around literals, back-tracking over repeated parts.
        MaskCase{"anything", "*", true}, MaskCase{"rapport.doc", "*.doc", true},
        MaskCase{"rapport.docx", "*.doc", false}, MaskCase{"a.doc.doc", "*.doc", true},
        MaskCase{"a.doc.txt", "*.doc", false}, MaskCase{"abcabcabd", "*abd", true},
        MaskCase{"mississippi", "m*iss*ppi", true}, MaskCase{"mississippi", "m*iss*ppx", false},
        MaskCase{"x.log", "**.log", true}, MaskCase{"log", "*log*", true}, MaskCase{"Makefile", "*.", false},
        // ASCII case ignored in both directions.
        MaskCase{"PHOTO.JPG", "*.jpg", true}, MaskCase{"photo.jpg", "*.JPG", true},
        MaskCase{"Photo.Jpg", "photo.jpg", true},
        // "?" is exactly one character; a UTF-8 sequence is one character.
        MaskCase{"a.txt", "?.txt", true}, MaskCase{"ab.txt", "?.txt", false}, MaskCase{".txt", "?.txt", false},
        MaskCase{"é.txt", "?.txt", true}, MaskCase{"日本.txt", "??.txt", true}, MaskCase{"日本.txt", "???.txt", false},
        MaskCase{"😀", "?", true}, MaskCase{"é", "??", false},
        // A stray byte is a character of its own.
        MaskCase{"\xff"
                 "a",
                 "??", true},
        MaskCase{"\xc3", "?", true},
        // Letters outside ASCII keep their case; literals must match whole characters.
        MaskCase{"É.txt", "é.txt", false}, MaskCase{"é.txt", "é.txt", true}, MaskCase{"é", "\xc3", false},
        // The empty mask matches nothing; an exact name matches itself only.
        MaskCase{"a", "", false}, MaskCase{"serie.ini", "serie.ini", true},
        MaskCase{"serie.ini.bak", "serie.ini", false}, MaskCase{"serie", "serie.ini", false}));

}  // namespace
