#include "backup/stored_name.h"

#include <gtest/gtest.h>

using namespace backup;

TEST(StoredArchiveName, FullPathWithoutLeadingSlashDotsOrEmptyParts) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"/home/marie/Documents/lettre.odt", "home/marie/Documents/lettre.odt"},
      {"/data/a.txt", "data/a.txt"},
      {"//data///a.txt", "data/a.txt"},
      {"/data/./a.txt", "data/a.txt"},
      {"/data/../etc/passwd", "data/etc/passwd"},  // dropped, never resolved
      {"/../../a", "a"},
      {"/data/..a/b..", "data/..a/b.."},  // only whole parts go
      {"/data/fin.", "data/fin."},        // a final dot belongs to the name
      {"/Données/Été/C:x.txt", "Données/Été/C:x.txt"},
      {"/Data/A.TXT", "Data/A.TXT"},  // case kept: names match exactly
      {"relatif/a.txt", "relatif/a.txt"},
      {"/d/caf\xE9.txt", "d/caf\xE9.txt"},              // bytes that are no UTF-8 kept
      {"/d/\xC3\xA9t\xC3\xA9", "d/\xC3\xA9t\xC3\xA9"},  // UTF-8 kept as it is
      {"/d/\xF0\x9F\x98\x80", "d/\xF0\x9F\x98\x80"},
      {"/d/\xC3", "d/\xC3"},                  // cut sequence
      {"/d/\xED\xA0\x80", "d/\xED\xA0\x80"},  // surrogate
      {"/", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredArchiveName(c.path), c.name) << c.path;
}

TEST(IsUtf8, WellFormedSequencesOnly) {
  const struct {
    const char* text;
    bool utf8;
  } cases[] = {
      {"", true},
      {"lettre.odt", true},
      {"caf\xC3\xA9", true},
      {"\xF0\x9F\x98\x80", true},
      {"caf\xE9", false},
      {"\xC3", false},              // cut sequence
      {"\xED\xA0\x80", false},      // surrogate
      {"\xC0\xAF", false},          // overlong "/"
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(IsUtf8(c.text), c.utf8) << c.text;
}
